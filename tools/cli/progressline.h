#pragma once

#include <QObject>

class TaskListModel;
class TransferTask;

// A one-line progress bar on standard error for the running transfer, redrawn in place; shown
// only when standard error is a terminal. Any other line the program prints first clears it, so
// the two never share a line; the next progress redraws it below.
class ProgressLine : public QObject
{
public:
    explicit ProgressLine(TaskListModel& tasks);
    ~ProgressLine() override;
    // Clears the bar for good: the transfers are over.
    void finish();

private:
    void follow(TransferTask* task);
    void draw(const TransferTask* task);
    void clear();

    bool m_enabled = false;
    bool m_drawn = false;
};
