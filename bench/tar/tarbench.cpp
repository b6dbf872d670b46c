// Drives the archive code the way the transfers do, for bench/tar/run.sh:
//   zorvane-tar-bench stream <folder>          plan and produce the archive into a discarding sink
//   zorvane-tar-bench write <folder> <file>    write the archive to a file
//   zorvane-tar-bench extract <file> <folder>  unpack an archive file
// Reports on standard error: bytes produced and the peak resident size in KiB.

#include "archive/tararchive.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <exception>

#include <sys/resource.h>

namespace {

long peakRssKiB()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int usage()
{
    std::fprintf(stderr, "usage: zorvane-tar-bench stream <folder> | write <folder> <file> | extract <file> <folder>\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    const QString command = QString::fromLocal8Bit(argv[1]);
    const QString first = QString::fromLocal8Bit(argv[2]);
    try {
        if (command == "stream" || command == "write") {
            QFile out;
            if (command == "write") {
                if (argc < 4)
                    return usage();
                out.setFileName(QString::fromLocal8Bit(argv[3]));
                if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
                    throw std::runtime_error(out.errorString().toStdString());
            }
            TarArchive::TarStreamSource source(first);
            qint64 bytes = 0;
            volatile char sink = 0;
            for (QByteArray chunk = source.nextChunk(); !chunk.isEmpty(); chunk = source.nextChunk()) {
                bytes += chunk.size();
                if (out.isOpen()) {
                    if (out.write(chunk) != chunk.size())
                        throw std::runtime_error(out.errorString().toStdString());
                } else {
                    sink = sink + chunk.back();  // touch the chunk so nothing is optimised away
                }
            }
            if (bytes != source.totalSize())
                throw std::runtime_error("archive length differs from its planned size");
            std::fprintf(stderr, "bytes=%lld peak_rss_kib=%ld\n", static_cast<long long>(bytes), peakRssKiB());
        } else if (command == "extract") {
            if (argc < 4)
                return usage();
            TarArchive::extractTar(first, QString::fromLocal8Bit(argv[3]));
            std::fprintf(stderr, "peak_rss_kib=%ld\n", peakRssKiB());
        } else {
            return usage();
        }
    } catch (const TarArchive::TarError& error) {
        std::fprintf(stderr, "error: %s\n", qPrintable(error.description()));
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        return 1;
    }
    return 0;
}
