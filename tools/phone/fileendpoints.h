#pragma once

#include "cabinroot.h"
#include "faultplan.h"
#include "httpreply.h"
#include "requestparser.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace phone {

// The file cabin's endpoints: listing, folder and file operations, uploads and downloads,
// folder archives and digests. Every remote path goes through CabinRoot first.
class FileEndpoints
{
public:
    struct Switches
    {
        bool folderEndpoints = true;
        bool hashEndpoints = true;
        bool treePrefix = false;
    };

    FileEndpoints(const CabinRoot& root, Switches switches);

    // The method an enabled endpoint takes, or nothing when this is no (enabled) endpoint.
    std::optional<QByteArray> methodFor(const QString& endpoint) const;

    Dispatch handle(const RequestHead& head, const std::optional<Fault>& fault) const;

private:
    using Target = std::variant<CabinRoot::Resolved, HttpReply>;

    // The path item, resolved; or the answer that refuses it.
    Target target(const RequestHead& head) const;
    Target destination(const RequestHead& head, const CabinRoot::Resolved& from) const;

    Dispatch list(const CabinRoot::Resolved& at) const;
    Dispatch makeDirectory(const CabinRoot::Resolved& at) const;
    Dispatch moveOrCopy(const RequestHead& head, const CabinRoot::Resolved& from, bool copy) const;
    Dispatch remove(const CabinRoot::Resolved& at) const;
    Dispatch upload(const RequestHead& head, const CabinRoot::Resolved& at) const;
    Dispatch download(const CabinRoot::Resolved& at) const;
    Dispatch uploadTar(const RequestHead& head, const CabinRoot::Resolved& at) const;
    Dispatch downloadFolder(const CabinRoot::Resolved& at) const;
    Dispatch hash(const CabinRoot::Resolved& at, bool corrupt) const;
    Dispatch hashTree(const CabinRoot::Resolved& at, bool corrupt) const;

    CabinRoot m_root;
    Switches m_switches;
};

} // namespace phone
