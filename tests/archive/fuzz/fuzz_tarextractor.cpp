// libFuzzer target: any input may fail, but only with the extractor's own errors, and nothing
// may appear or change outside the target folder, even through links planted inside it.

#include "archive/tararchive.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path sandbox;

fs::path target() { return sandbox / "target"; }
fs::path outside() { return sandbox / "outside"; }

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "write outside the target: %s\n", what);
        std::abort();
    }
}

std::set<std::string> listing(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Links an archive could try to write through.
const std::pair<const char*, std::string> plantedLinks[] = {
    {"abs", ""},               // → the outside folder, absolute
    {"rel", "../outside"},
    {"file", "/secret"},       // → the outside file
    {"dir/inner", "../../outside"},
    {"dangling", "/created"},  // → a name that must not come to exist
};

void prepare()
{
    fs::remove_all(target());
    fs::create_directories(target() / "dir");
    for (const auto& [link, to] : plantedLinks) {
        const fs::path resolved = to.empty() || to.front() == '/' ? fs::path(outside().string() + to) : fs::path(to);
        fs::create_symlink(resolved, target() / link);
    }
}

void verify()
{
    check(listing(sandbox) == std::set<std::string>{"outside", "target"}, "sandbox");
    check(listing(outside()) == std::set<std::string>{"secret"}, "outside folder");
    check(contents(outside() / "secret") == "secret", "outside file");
    for (const auto& link : plantedLinks)
        check(fs::is_symlink(fs::symlink_status(target() / link.first)), "planted link replaced");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "zorvane-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        std::abort();
    sandbox = pattern;
    fs::create_directories(outside());
    std::ofstream(outside() / "secret", std::ios::binary) << "secret";
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(sandbox, ignored);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    prepare();
    // The input also picks the piece size, so headers and data get split in every way.
    const size_t piece = size == 0 ? 1 : 1 + data[0] % 4 * 300 + data[size - 1] % 512;
    try {
        TarArchive::TarExtractor extractor(QString::fromStdString(target().string()));
        for (size_t pos = 0; pos < size; pos += piece) {
            extractor.write(QByteArrayView(reinterpret_cast<const char*>(data) + pos,
                                           qsizetype(std::min(piece, size - pos))));
        }
        extractor.finish();
    } catch (const TarArchive::TarError&) {
    } catch (const std::system_error&) {
    }
    verify();
    return 0;
}
