#pragma once

#include "transfers/transferentry.h"

#include <QCoroTask>
#include <QString>

#include <optional>

class MacViewModel;

// Finding things in the phone's file cabin the way a user would: by walking the right pane.
namespace RemoteLookup {

// A path as typed ("DCIM/", "/a//b") as the cabin's own form: leading "/", no trailing "/".
QString cabinPath(const QString& typed);
QString parentOf(const QString& path);
QString nameOf(const QString& path);

// Walks the view model to `folder`; false after printing the listing's failure.
QCoro::Task<bool> openFolder(MacViewModel& viewModel, QString folder);

// The listed entry at `path`, found in its folder's listing; nothing after printing why not.
QCoro::Task<std::optional<TransferEntry>> findEntry(MacViewModel& viewModel, QString path);

} // namespace RemoteLookup
