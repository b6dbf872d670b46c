#pragma once

#include <QString>

// The result of comparing a transfer's digests on both sides.
struct VerifyOutcome
{
    enum class Kind { passed, skipped, nothingToCheck, mismatch, requestFailed };

    Kind kind = Kind::skipped;
    QString detail; // mismatch: what differs; requestFailed: the error text

    static VerifyOutcome passed() { return {Kind::passed, {}}; }
    static VerifyOutcome skipped() { return {Kind::skipped, {}}; }
    // A folder without a single file: no digest to compare on either side.
    static VerifyOutcome nothingToCheck() { return {Kind::nothingToCheck, {}}; }
    static VerifyOutcome mismatch(const QString& detail) { return {Kind::mismatch, detail}; }
    static VerifyOutcome requestFailed(const QString& error) { return {Kind::requestFailed, error}; }

    // The report line for `item` (a file or folder name), without the "[VERIFY] " prefix.
    QString reportLine(const QString& item) const;

    friend bool operator==(const VerifyOutcome&, const VerifyOutcome&) = default;
};
