#pragma once

#include <QSet>
#include <QString>

// What this computer's network interfaces are for, by their IPv4 addresses: a link-local
// address (169.254.x.y) is what an iPhone's USB network link gives; any other address but
// loopback's makes the interface routable. An interface with both kinds is in both sets.
struct InterfaceRoles
{
    QSet<QString> linkLocal;
    QSet<QString> routable;

    // Adds one IPv4 address of `interfaceName`, given in dotted decimal.
    void addAddress(const QString& interfaceName, const QString& address);
    // From the computer's interfaces as they are now; both sets empty when they cannot be listed.
    static InterfaceRoles current();
};
