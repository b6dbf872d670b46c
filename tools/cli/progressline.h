#pragma once

#include <QMetaObject>
#include <QObject>

class TaskListModel;
class TransferTask;

// A one-line progress bar on standard error for the running transfer, redrawn in place; shown
// only when standard error is a terminal.
class ProgressLine : public QObject
{
public:
    explicit ProgressLine(TaskListModel& tasks);
    ~ProgressLine() override;
    // Ends the line so later output starts on a fresh one.
    void finish();

private:
    void follow(TransferTask* task);
    void draw(const TransferTask* task);

    bool m_enabled = false;
    bool m_drawn = false;
};
