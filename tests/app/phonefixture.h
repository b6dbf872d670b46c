#pragma once

#include "app/macviewmodel.h"

#include <QString>
#include <QStringList>

class PhoneProcess;

namespace phonefixture {

// Creates the listed entries under `root`: names ending in "/" are folders, the rest files
// holding their own name.
void makeTree(const QString& root, const QStringList& entries);

// Connects the view model's transport to the stand-in and adopts the connection as the
// connection flow does, which lists the root. Returns false with a message on failure.
bool connect(MacViewModel& viewModel, const PhoneProcess& phone, QString* failure);

QStringList remoteIds(MacViewModel& viewModel);
QStringList remoteNames(MacViewModel& viewModel);
TransferEntry remoteEntry(MacViewModel& viewModel, const QString& id);

} // namespace phonefixture
