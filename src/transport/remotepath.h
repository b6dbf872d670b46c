#pragma once

#include <QString>

// Paths of the phone's file cabin: "/"-rooted strings with "/" between names; a listing's folder
// ids end in "/". Every join, trim and name check of such paths goes through here.
namespace RemotePath {

// `name` (or a relative path) after `folder`, with exactly one "/" between them.
QString join(const QString& folder, const QString& name);
// Without a trailing "/"; the root stays "/".
QString trimmed(const QString& path);
// The folder holding `path` ("/" for an entry at the root).
QString parentOf(const QString& path);
// The last name of `path`.
QString nameOf(const QString& path);
// A single name that stays inside the folder it is put in: not empty, not "." or "..", no "/"
// and no NUL.
bool isSafeName(const QString& name);

} // namespace RemotePath
