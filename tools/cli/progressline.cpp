#include "progressline.h"

#include "clioutput.h"

#include "app/tasklistmodel.h"
#include "transport/diagnostics.h"

#include <cstdio>

#include <unistd.h>

ProgressLine::ProgressLine(TaskListModel& tasks) : m_enabled(::isatty(STDERR_FILENO) == 1)
{
    if (!m_enabled)
        return;
    QObject::connect(&tasks, &TaskListModel::rowsInserted, this, [this, &tasks](const QModelIndex&, int first, int last) {
        for (int row = first; row <= last; ++row)
            follow(tasks.tasks().at(row));
    });
    setBeforeEachPrint([this] { clear(); });
    Diagnostics::setBeforeEachLine([this] { clear(); });
}

ProgressLine::~ProgressLine()
{
    finish();
}

void ProgressLine::follow(TransferTask* task)
{
    const auto redraw = [this, task] { draw(task); };
    QObject::connect(task, &TransferTask::progressChanged, this, redraw);
    QObject::connect(task, &TransferTask::statusChanged, this, redraw);
}

void ProgressLine::draw(const TransferTask* task)
{
    if (!m_enabled || task->status() == TransferTask::Status::waiting)
        return;
    constexpr int width = 30;
    const int filled = int(task->progress() * width + 0.5);
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(width - filled, '-');
    const QByteArray line = "\r[" + bar + "] " + QByteArray::number(int(task->progress() * 100)).rightJustified(3, ' ')
                            + "% " + task->directionText().toUtf8() + " " + task->name().toUtf8() + "\x1b[K";
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressLine::finish()
{
    if (!m_enabled)
        return;
    clear();
    m_enabled = false;
    setBeforeEachPrint({});
    Diagnostics::setBeforeEachLine({});
}

void ProgressLine::clear()
{
    if (!m_drawn)
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    m_drawn = false;
}
