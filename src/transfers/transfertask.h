#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

// One queued transfer as the task panel shows it; the runner moves it from waiting to running to
// success or failed, and observers are told of every status and progress change.
class TransferTask : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString id READ idText CONSTANT)
    Q_PROPERTY(QString name READ name CONSTANT)
    Q_PROPERTY(Direction direction READ direction CONSTANT)
    Q_PROPERTY(QString directionText READ directionText CONSTANT)
    Q_PROPERTY(qint64 size READ size NOTIFY sizeChanged)
    Q_PROPERTY(Status status READ status NOTIFY statusChanged)
    // For the views: "waiting", "running", "success" or "failed" (QML cannot name lower-case enum
    // values), and whether the task pulls.
    Q_PROPERTY(QString statusName READ statusName NOTIFY statusChanged)
    Q_PROPERTY(bool isPull READ isPull CONSTANT)
    Q_PROPERTY(QString failureMessage READ failureMessage NOTIFY statusChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(int skippedHidden READ skippedHidden NOTIFY skippedHiddenChanged)
    Q_PROPERTY(QString note READ note NOTIFY skippedHiddenChanged)

public:
    enum class Direction { push, pull };
    Q_ENUM(Direction)
    enum class Status { waiting, running, success, failed };
    Q_ENUM(Status)

    TransferTask(const QString& name, Direction direction, qint64 size, QObject* parent = nullptr);

    QUuid id() const { return m_id; }
    QString idText() const { return m_id.toString(QUuid::WithoutBraces); }
    QString name() const { return m_name; }
    Direction direction() const { return m_direction; }
    QString directionText() const;
    qint64 size() const { return m_size; }
    Status status() const { return m_status; }
    QString statusName() const;
    bool isPull() const { return m_direction == Direction::pull; }
    QString failureMessage() const { return m_failureMessage; }
    double progress() const { return m_progress; }
    // Hidden items inside a pushed folder are left out, as the window's list leaves them out.
    int skippedHidden() const { return m_skippedHidden; }
    // What the row says besides name and progress: "已跳过 N 个隐藏项", or nothing.
    QString note() const;
    bool isFinished() const { return m_status == Status::success || m_status == Status::failed; }

    void setRunning();
    void setSuccess();
    void setFailed(const QString& message);
    void setProgress(double progress);
    // For a size known only after the task was shown (a folder still being walked).
    void setSize(qint64 size);
    void setSkippedHidden(int count);

signals:
    void sizeChanged();
    void statusChanged();
    void progressChanged();
    void skippedHiddenChanged();

private:
    void setStatus(Status status, const QString& message = {});

    QUuid m_id = QUuid::createUuid();
    QString m_name;
    Direction m_direction;
    qint64 m_size;
    Status m_status = Status::waiting;
    QString m_failureMessage;
    double m_progress = 0.0;
    int m_skippedHidden = 0;
};
