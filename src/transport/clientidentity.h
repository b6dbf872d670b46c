#pragma once

#include <QString>

// How phones recognise this computer: a UUID made once and kept in the settings under
// "qvx.client.uuid", and the computer's user-visible name.
class ClientIdentity
{
public:
    static constexpr const char* settingsKey = "qvx.client.uuid";

    // The identity of this process, read (or made and stored) on first use.
    static QString id();
    // Reads the stored identity, making and storing a new one when it is missing or empty.
    static QString readOrCreate();
    // The user-visible name of this computer; the host name when there is none.
    static QString computerName();
};
