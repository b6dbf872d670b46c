#pragma once

#include "browseresult.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>

// One browse for one DNS-SD service type in the default domain, through the system's mDNS daemon
// (avahi-daemon, over D-Bus), on the calling thread's event loop. The first complete picture is
// reported once the daemon says it has everything for now, and later changes a moment after
// they arrive, so a listing never grows one entry at a time. A browser that fails stays failed;
// the owner replaces it.
class ServiceBrowser : public QObject
{
    Q_OBJECT

public:
    explicit ServiceBrowser(QString serviceType, QObject* parent = nullptr);
    ~ServiceBrowser() override;

    // Connects to the daemon and begins; every outcome, even an immediate failure, arrives
    // later through the signals.
    void start();

signals:
    void ready();
    void failed(const QString& reason);
    void resultsChanged(const QList<BrowseResult>& results);

private:
    struct Sighting
    {
        QString name;
        QString type;
        QString domain;
        int interfaceIndex;
        int protocol;
        friend bool operator==(const Sighting&, const Sighting&) = default;
    };

    static void onClientState(AvahiClient* client, AvahiClientState state, void* self);
    static void onBrowse(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
                         AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
                         AvahiLookupResultFlags flags, void* self);
    void createBrowser(AvahiClient* client);
    void fail(const QString& reason);
    void reportSoon();
    QList<BrowseResult> results() const;

    QString m_serviceType;
    AvahiClient* m_client = nullptr;
    AvahiServiceBrowser* m_browser = nullptr;
    QList<Sighting> m_sightings;
    bool m_settled = false;
    bool m_failed = false;
    QTimer m_reportTimer;
};
