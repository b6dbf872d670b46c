#include "rememberedphones.h"

#include "phoneaddress.h"

#include <QSettings>

namespace {

const QString arrayKey = QStringLiteral("rememberedPhones");
const QString addressKey = QStringLiteral("address");
const QString nameKey = QStringLiteral("name");

} // namespace

QList<RememberedPhones::Stored> RememberedPhones::read()
{
    QSettings settings;
    QList<Stored> phones;
    const int count = settings.beginReadArray(arrayKey);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        const Stored phone{settings.value(addressKey).toString(), settings.value(nameKey).toString()};
        // A hand-edited entry that is not an address is left out rather than listed broken.
        if (PhoneAddress::parse(phone.address))
            phones << phone;
    }
    settings.endArray();
    return phones;
}

void RememberedPhones::write(const QList<Stored>& phones)
{
    QSettings settings;
    settings.remove(arrayKey);
    settings.beginWriteArray(arrayKey, int(phones.size()));
    for (int i = 0; i < phones.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(addressKey, phones[i].address);
        settings.setValue(nameKey, phones[i].name);
    }
    settings.endArray();
    settings.sync();
}

QList<WiFiDeviceInfo> RememberedPhones::load()
{
    QList<WiFiDeviceInfo> devices;
    for (const Stored& phone : read()) {
        const PhoneAddress address = *PhoneAddress::parse(phone.address);
        devices << entry(address.host, address.port, phone.name);
    }
    return devices;
}

void RememberedPhones::remember(const QString& address, const QString& name)
{
    QList<Stored> phones = read();
    phones.removeIf([&](const Stored& phone) { return phone.address == address; });
    phones.prepend({address, name});
    while (phones.size() > maxRemembered)
        phones.removeLast();
    write(phones);
}

void RememberedPhones::forget(const QString& address)
{
    QList<Stored> phones = read();
    if (phones.removeIf([&](const Stored& phone) { return phone.address == address; }) > 0)
        write(phones);
}

WiFiDeviceInfo RememberedPhones::entry(const QString& host, int port, const QString& name)
{
    WiFiDeviceInfo info;
    info.endpoint = NetworkEndpoint::hostAndPort(host, quint16(port));
    info.id = info.endpoint.debugDescription();
    info.name = name.isEmpty() ? info.id : name;
    return info;
}
