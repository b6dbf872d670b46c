#include "fileendpoints.h"

#include "requestsink.h"
#include "common/filedigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStorageInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace phone {

namespace {

const QString notFoundText = QStringLiteral("文件不存在");
const QString rootRefusedText = QStringLiteral("不允许操作文件舱根");
const QString existsText = QStringLiteral("同名文件已存在");

// Our own in-progress files (uploads being received) are never shown or served.
bool isInternalName(const QString& name)
{
    return name.startsWith(QLatin1String(".zorvane-"));
}

// An entry is there if the name is taken, even by a link that leads nowhere.
bool entryExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString parentOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

QString systemErrorText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A digest that cannot match: the first hex digit changed.
QString corrupted(QString digest)
{
    if (!digest.isEmpty())
        digest[0] = digest[0] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    return digest;
}

// True when `path` is `folder` or lies below it, every link on both followed.
bool isSameOrInside(const QString& path, const QString& folder)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    const QString realFolder = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty() || realFolder.isEmpty() || !QFileInfo(realFolder).isDir())
        return false;
    return real == realFolder || real.startsWith(realFolder + QLatin1Char('/'));
}

bool copyTree(const QString& from, const QString& to, QString* error)
{
    const QFileInfo source(from);
    if (source.isDir()) {
        // Listed before the copy exists, so the copy can never be part of what it copies.
        const QFileInfoList children = QDir(from).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        if (!QDir().mkdir(to)) {
            *error = QStringLiteral("无法创建 ") + to;
            return false;
        }
        for (const QFileInfo& child : children) {
            // Links inside a copied tree are left behind: a copy must not pull in what lies
            // outside the cabin, and a relative link would point elsewhere from the new place.
            if (child.isSymLink() || isInternalName(child.fileName())
                || !(child.isDir() || child.isFile()))
                continue;
            if (!copyTree(child.filePath(), to + QLatin1Char('/') + child.fileName(), error))
                return false;
        }
        return true;
    }
    QFile file(from);
    if (!file.copy(to)) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

FileEndpoints::FileEndpoints(const CabinRoot& root, Switches switches)
    : m_root(root), m_switches(switches)
{
}

std::optional<QByteArray> FileEndpoints::methodFor(const QString& endpoint) const
{
    static const QMap<QString, QByteArray> always = {
        {QStringLiteral("/list"), "GET"},      {QStringLiteral("/mkdir"), "POST"},
        {QStringLiteral("/rename"), "POST"},   {QStringLiteral("/copy"), "POST"},
        {QStringLiteral("/delete"), "POST"},   {QStringLiteral("/upload"), "POST"},
        {QStringLiteral("/download"), "GET"},
    };
    if (const auto it = always.find(endpoint); it != always.end())
        return *it;
    if (m_switches.folderEndpoints && endpoint == QLatin1String("/uploadTar"))
        return QByteArray("POST");
    if (m_switches.folderEndpoints && endpoint == QLatin1String("/downloadFolder"))
        return QByteArray("GET");
    if (m_switches.hashEndpoints
        && (endpoint == QLatin1String("/hash") || endpoint == QLatin1String("/hashTree")))
        return QByteArray("GET");
    return std::nullopt;
}

Dispatch FileEndpoints::handle(const RequestHead& head, const std::optional<Fault>& fault) const
{
    Target resolved = target(head);
    if (auto* refusal = std::get_if<HttpReply>(&resolved))
        return Dispatch::now(std::move(*refusal));
    const CabinRoot::Resolved at = std::get<CabinRoot::Resolved>(std::move(resolved));
    const bool corrupt = fault && fault->kind == Fault::Kind::corruptDigest;

    const QString& endpoint = head.path;
    if (endpoint == QLatin1String("/list"))
        return list(at);
    if (endpoint == QLatin1String("/mkdir"))
        return makeDirectory(at);
    if (endpoint == QLatin1String("/rename"))
        return moveOrCopy(head, at, false);
    if (endpoint == QLatin1String("/copy"))
        return moveOrCopy(head, at, true);
    if (endpoint == QLatin1String("/delete"))
        return remove(at);
    if (endpoint == QLatin1String("/upload"))
        return upload(head, at);
    if (endpoint == QLatin1String("/download"))
        return download(at);
    if (endpoint == QLatin1String("/uploadTar"))
        return uploadTar(head, at);
    if (endpoint == QLatin1String("/downloadFolder"))
        return downloadFolder(at);
    if (endpoint == QLatin1String("/hash"))
        return hash(at, corrupt);
    if (endpoint == QLatin1String("/hashTree"))
        return hashTree(at, corrupt);
    return Dispatch::now(HttpReply::text(404, QStringLiteral("没有这个接口")));
}

FileEndpoints::Target FileEndpoints::target(const RequestHead& head) const
{
    const std::optional<QString> path = head.queryItem(QStringLiteral("path"));
    if (!path)
        return HttpReply::text(400, QStringLiteral("缺少 path"));
    CabinRoot::Resolved resolved = m_root.resolve(*path);
    if (resolved.verdict == CabinRoot::Verdict::malformed)
        return HttpReply::text(400, QStringLiteral("路径不合法"));
    if (resolved.verdict == CabinRoot::Verdict::outside)
        return HttpReply::text(403, QStringLiteral("路径在文件舱之外"));
    if (!resolved.parts.isEmpty() && isInternalName(resolved.parts.last()))
        return HttpReply::text(404, notFoundText);
    return resolved;
}

FileEndpoints::Target FileEndpoints::destination(const RequestHead& head,
                                                 const CabinRoot::Resolved& from) const
{
    const std::optional<QString> to = head.queryItem(QStringLiteral("to"));
    if (!to || to->isEmpty())
        return HttpReply::text(400, QStringLiteral("缺少 to"));
    CabinRoot::Resolved resolved = m_root.resolveSibling(from, *to);
    if (resolved.verdict == CabinRoot::Verdict::malformed)
        return HttpReply::text(400, QStringLiteral("目标路径不合法"));
    if (resolved.verdict == CabinRoot::Verdict::outside)
        return HttpReply::text(403, QStringLiteral("目标路径在文件舱之外"));
    if (resolved.isRoot())
        return HttpReply::text(403, rootRefusedText);
    if (isInternalName(resolved.parts.last()))
        return HttpReply::text(400, QStringLiteral("目标名称不可用"));
    return resolved;
}

Dispatch FileEndpoints::list(const CabinRoot::Resolved& at) const
{
    const QFileInfo folder(at.localPath);
    if (!folder.exists())
        return Dispatch::now(HttpReply::text(404, notFoundText));
    if (!folder.isDir())
        return Dispatch::now(HttpReply::text(400, QStringLiteral("不是文件夹")));
    const QFileInfoList items = QDir(at.localPath).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDir::DirsFirst | QDir::Name | QDir::IgnoreCase);
    QJsonArray entries;
    for (const QFileInfo& item : items) {
        if (isInternalName(item.fileName()))
            continue;
        // A link is shown as what it leads to, and only when that lies inside the cabin.
        if (item.isSymLink() && !m_root.isWithin(item.canonicalFilePath()))
            continue;
        if (!item.isDir() && !item.isFile())
            continue;
        entries.append(QJsonObject{
            {QStringLiteral("name"), item.fileName()},
            {QStringLiteral("isDirectory"), item.isDir()},
            {QStringLiteral("size"), item.isDir() ? qint64(0) : item.size()},
        });
    }
    return Dispatch::now(HttpReply::json(QJsonDocument(entries)));
}

Dispatch FileEndpoints::makeDirectory(const CabinRoot::Resolved& at) const
{
    if (at.isRoot())
        return Dispatch::now(HttpReply::text(403, rootRefusedText));
    if (entryExists(at.localPath))
        return Dispatch::now(HttpReply::text(409, existsText));
    if (!QFileInfo(parentOf(at.localPath)).isDir())
        return Dispatch::now(HttpReply::text(404, QStringLiteral("上级文件夹不存在")));
    if (!QDir().mkdir(at.localPath))
        return Dispatch::now(HttpReply::text(500, QStringLiteral("无法创建文件夹")));
    return Dispatch::now(HttpReply::text(200, QStringLiteral("OK")));
}

Dispatch FileEndpoints::moveOrCopy(const RequestHead& head, const CabinRoot::Resolved& from,
                                   bool copy) const
{
    if (from.isRoot())
        return Dispatch::now(HttpReply::text(403, rootRefusedText));
    if (!entryExists(from.localPath))
        return Dispatch::now(HttpReply::text(404, notFoundText));
    Target resolved = destination(head, from);
    if (auto* refusal = std::get_if<HttpReply>(&resolved))
        return Dispatch::now(std::move(*refusal));
    const CabinRoot::Resolved to = std::get<CabinRoot::Resolved>(std::move(resolved));
    if (entryExists(to.localPath))
        return Dispatch::now(HttpReply::text(409, existsText));
    if (!QFileInfo(parentOf(to.localPath)).isDir())
        return Dispatch::now(HttpReply::text(404, QStringLiteral("目标文件夹不存在")));
    // A folder cannot go inside itself; copying would never end. Judged on the real places,
    // links followed, as well as on the names: a link inside the cabin may lead back to the
    // source or above it.
    if (to.parts.size() > from.parts.size() && to.parts.first(from.parts.size()) == from.parts)
        return Dispatch::now(HttpReply::text(400, QStringLiteral("不能放进自身")));
    if (isSameOrInside(parentOf(to.localPath), from.localPath))
        return Dispatch::now(HttpReply::text(400, QStringLiteral("不能放进自身")));

    if (!copy) {
        const QByteArray source = QFile::encodeName(from.localPath);
        const QByteArray target = QFile::encodeName(to.localPath);
        if (std::rename(source.constData(), target.constData()) != 0)
            return Dispatch::now(HttpReply::text(500, QStringLiteral("重命名失败：") + systemErrorText()));
        return Dispatch::now(HttpReply::text(200, QStringLiteral("OK")));
    }
    const QString source = from.localPath;
    const QString target = to.localPath;
    return Dispatch::deferred(QtConcurrent::run([source, target] {
        QString error;
        if (copyTree(source, target, &error))
            return HttpReply::text(200, QStringLiteral("OK"));
        // Leave nothing half-copied behind.
        if (QFileInfo(target).isDir())
            QDir(target).removeRecursively();
        else
            QFile::remove(target);
        return HttpReply::text(500, QStringLiteral("复制失败：") + error);
    }));
}

Dispatch FileEndpoints::remove(const CabinRoot::Resolved& at) const
{
    if (at.isRoot())
        return Dispatch::now(HttpReply::text(403, rootRefusedText));
    const QFileInfo info(at.localPath);
    if (!entryExists(at.localPath))
        return Dispatch::now(HttpReply::text(404, notFoundText));
    const QString path = at.localPath;
    if (info.isSymLink() || !info.isDir()) {
        if (!QFile::remove(path))
            return Dispatch::now(HttpReply::text(500, QStringLiteral("删除失败")));
        return Dispatch::now(HttpReply::text(200, QStringLiteral("OK")));
    }
    return Dispatch::deferred(QtConcurrent::run([path] {
        if (!QDir(path).removeRecursively())
            return HttpReply::text(500, QStringLiteral("删除失败"));
        return HttpReply::text(200, QStringLiteral("OK"));
    }));
}

Dispatch FileEndpoints::upload(const RequestHead& head, const CabinRoot::Resolved& at) const
{
    if (!head.hasContentLength)
        return Dispatch::now(HttpReply::text(411, QStringLiteral("需要 Content-Length")));
    if (at.isRoot() || QFileInfo(at.localPath).isDir())
        return Dispatch::now(HttpReply::text(409, QStringLiteral("同名文件夹已存在")));
    const QFileInfo parent(parentOf(at.localPath));
    if (!parent.isDir())
        return Dispatch::now(HttpReply::text(404, QStringLiteral("目标文件夹不存在")));
    QStorageInfo storage(parent.absoluteFilePath());
    if (storage.isValid() && storage.bytesAvailable() < head.contentLength)
        return Dispatch::now(HttpReply::text(507, QStringLiteral("手机空间不足")));
    QString error;
    std::shared_ptr<RequestSink> sink = RequestSink::toFile(at.localPath, &error);
    if (!sink)
        return Dispatch::now(HttpReply::text(500, QStringLiteral("无法写入：") + error));
    return Dispatch::takeBody(std::move(sink));
}

Dispatch FileEndpoints::download(const CabinRoot::Resolved& at) const
{
    const QFileInfo info(at.localPath);
    if (!info.exists())
        return Dispatch::now(HttpReply::text(404, notFoundText));
    if (!info.isFile())
        return Dispatch::now(HttpReply::text(400, QStringLiteral("不是文件")));
    auto file = std::make_unique<QFile>(at.localPath);
    if (!file->open(QIODevice::ReadOnly))
        return Dispatch::now(HttpReply::text(403, QStringLiteral("无法读取：") + file->errorString()));
    HttpReply reply;
    reply.contentType = "application/octet-stream";
    reply.body = ResponseBody::fromFile(std::move(file));
    return Dispatch::now(std::move(reply));
}

Dispatch FileEndpoints::uploadTar(const RequestHead& head, const CabinRoot::Resolved& at) const
{
    if (!head.hasContentLength)
        return Dispatch::now(HttpReply::text(411, QStringLiteral("需要 Content-Length")));
    const QFileInfo folder(at.localPath);
    if (entryExists(at.localPath) && !folder.isDir())
        return Dispatch::now(HttpReply::text(409, existsText));
    QStorageInfo storage(m_root.path());
    if (storage.isValid() && storage.bytesAvailable() < head.contentLength)
        return Dispatch::now(HttpReply::text(507, QStringLiteral("手机空间不足")));
    QString error;
    std::shared_ptr<RequestSink> sink = RequestSink::toTarExtractor(at.localPath, &error);
    if (!sink)
        return Dispatch::now(HttpReply::text(500, QStringLiteral("无法创建文件夹：") + error));
    return Dispatch::takeBody(std::move(sink));
}

Dispatch FileEndpoints::downloadFolder(const CabinRoot::Resolved& at) const
{
    const QFileInfo folder(at.localPath);
    if (!folder.exists())
        return Dispatch::now(HttpReply::text(404, notFoundText));
    if (!folder.isDir())
        return Dispatch::now(HttpReply::text(400, QStringLiteral("不是文件夹")));
    const QString path = at.localPath;
    // Planning walks the whole tree; it runs off the event loop.
    return Dispatch::deferred(QtConcurrent::run([path] {
        auto source = std::make_unique<TarArchive::TarStreamSource>(path);
        HttpReply reply;
        reply.contentType = "application/x-tar";
        reply.closeDelimited = true;
        reply.headers.append({"x-qvx-total-bytes", QByteArray::number(source->totalSize())});
        reply.body = ResponseBody::fromTar(std::move(source));
        return reply;
    }));
}

Dispatch FileEndpoints::hash(const CabinRoot::Resolved& at, bool corrupt) const
{
    if (!QFileInfo(at.localPath).isFile())
        return Dispatch::now(HttpReply::text(404, notFoundText));
    const QString path = at.localPath;
    return Dispatch::deferred(QtConcurrent::run([path, corrupt] {
        const std::optional<QString> digest = FileDigest::sha256Hex(path);
        if (!digest)
            return HttpReply::text(403, QStringLiteral("无法读取文件"));
        return HttpReply::text(200, corrupt ? corrupted(*digest) : *digest);
    }));
}

Dispatch FileEndpoints::hashTree(const CabinRoot::Resolved& at, bool corrupt) const
{
    if (!QFileInfo(at.localPath).isDir())
        return Dispatch::now(HttpReply::text(404, notFoundText));
    const QString path = at.localPath;
    const CabinRoot root = m_root;
    const QString prefix = m_switches.treePrefix
                               ? QFileInfo(path).fileName() + QLatin1Char('/')
                               : QString();
    return Dispatch::deferred(QtConcurrent::run([path, root, prefix, corrupt] {
        // The walk never enters a linked folder, but it follows links to files; one leading out
        // of the cabin would give away a digest of a file the client may not see.
        const auto insideCabin = [&root](const QString& link) { return root.contains(link); };
        const QMap<QString, QString> manifest = FileDigest::sha256Manifest(path, nullptr, insideCabin);
        QJsonArray files;
        for (auto it = manifest.begin(); it != manifest.end(); ++it) {
            const QString digest = corrupt && files.isEmpty() ? corrupted(it.value()) : it.value();
            files.append(QJsonObject{{QStringLiteral("path"), prefix + it.key()},
                                     {QStringLiteral("sha256"), digest}});
        }
        return HttpReply::json(QJsonDocument(QJsonObject{{QStringLiteral("files"), files}}));
    }));
}

} // namespace phone
