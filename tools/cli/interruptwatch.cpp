#include "interruptwatch.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Written by the handler, read by the event loop: the only async-signal-safe way across.
int g_writeFd = -1;

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
}

} // namespace

InterruptWatch::InterruptWatch(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds) != 0)
        return;  // without it the signals keep their usual effect
    g_writeFd = m_fds[0];
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterruptWatch::onReadable);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &m_previousInt);
    ::sigaction(SIGTERM, &action, &m_previousTerm);
    m_installed = true;
}

InterruptWatch::~InterruptWatch()
{
    restoreHandlers();
    g_writeFd = -1;
    for (int fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

void InterruptWatch::restoreHandlers()
{
    if (!m_installed)
        return;
    ::sigaction(SIGINT, &m_previousInt, nullptr);
    ::sigaction(SIGTERM, &m_previousTerm, nullptr);
    m_installed = false;
}

void InterruptWatch::onReadable()
{
    char byte = 0;
    if (::read(m_fds[1], &byte, 1) != 1)
        return;
    restoreHandlers();
    if (m_interrupted)
        return;
    m_interrupted = true;
    emit interrupted();
}
