#pragma once

#include "wifideviceinfo.h"

#include <QList>
#include <QString>

// Phones the user reached by address ("HOST:PORT"), kept in the settings so they stay in the
// connection menu across restarts, named as the phone last called itself.
class RememberedPhones
{
public:
    static constexpr int maxRemembered = 20;

    // Most recently connected first.
    static QList<WiFiDeviceInfo> load();
    // Puts the phone first under its address, named `name`; the oldest beyond the limit are dropped.
    static void remember(const QString& address, const QString& name);
    static void forget(const QString& address);

    // A phone by address as the connection menu lists it; `name` defaults to the address.
    static WiFiDeviceInfo entry(const QString& host, int port, const QString& name = {});

private:
    struct Stored
    {
        QString address;
        QString name;
    };
    static QList<Stored> read();
    static void write(const QList<Stored>& phones);
};
