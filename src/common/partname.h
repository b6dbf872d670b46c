#pragma once

#include <QByteArray>

// The name a file has while it is being written beside its final name: hidden, so a folder view
// never shows it growing, and short and fixed in length, so any name the file system takes for
// the final file also fits while it is written (".zv-" + 8 random hex digits + ".part").
QByteArray partFileName();
