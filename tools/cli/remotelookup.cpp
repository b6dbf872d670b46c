#include "remotelookup.h"

#include "clioutput.h"

#include "app/macviewmodel.h"
#include "common/texttemplate.h"

#include <QDir>

namespace RemoteLookup {

QString cabinPath(const QString& typed)
{
    return QDir::cleanPath(QLatin1Char('/') + typed);
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString nameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QCoro::Task<bool> openFolder(MacViewModel& viewModel, QString folder)
{
    co_await viewModel.goRemoteTo(folder);
    if (!viewModel.remoteErrorMessage().isEmpty()) {
        printError(viewModel.remoteErrorMessage());
        co_return false;
    }
    co_return true;
}

QCoro::Task<std::optional<TransferEntry>> findEntry(MacViewModel& viewModel, QString path)
{
    if (path == QLatin1String("/")) {
        printError(localizedFormat("%@：不能对文件舱根目录操作", {path}));
        co_return std::nullopt;
    }
    const QString folder = parentOf(path);
    if (!co_await openFolder(viewModel, folder))
        co_return std::nullopt;
    const QString name = nameOf(path);
    for (const TransferEntry& entry : viewModel.remoteItems()->entries()) {
        if (entry.name == name)
            co_return entry;
    }
    printError(localizedFormat("%@：文件舱里没有这一项", {path}));
    co_return std::nullopt;
}

} // namespace RemoteLookup
