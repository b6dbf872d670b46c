#pragma once

#include <QString>
#include <QVariant>

#include <initializer_list>

// Fills a printf-style message template in order: "%@" takes a text, "%ld" / "%lld" / "%d" a
// decimal integer, "%02x" a two-digit lowercase hex byte, "%%" a percent sign. Templates are looked
// up with localized() before they are filled, so a translation may move words around the
// placeholders but keeps them.
QString fillTemplate(const QString& localizedTemplate, std::initializer_list<QVariant> arguments);

// localized() then fillTemplate(): the usual way to make a user-facing message.
QString localizedFormat(const char* utf8Template, std::initializer_list<QVariant> arguments);
