#pragma once

#include "ZRFoundation/PropertyList/ZRPropertyList.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

/// Readers for the four forms a bundle's data files come in. Every reader bounds nesting depth,
/// element count and input size, never reads outside its input, and on failure returns a short
/// debug description that names the position ("Unexpected character '}' at line 3").
namespace ZRPropertyListReader {

enum class Format : std::uint8_t { XML, Binary, OpenStep, JSON };

struct Limits {
    std::size_t maximumInputSize = 64 * 1024 * 1024;
    /// Arrays and dictionaries inside each other. The readers recurse at most this deep.
    std::size_t maximumDepth = 256;
    /// Values of any kind, counting a binary object once per reference to it.
    std::size_t maximumElementCount = 4 * 1024 * 1024;
    /// Bytes of string and data contents a binary property list may expand to. A small binary
    /// file can reference one large object many times; every reference counts.
    std::size_t maximumDecodedSize = 256 * 1024 * 1024;
    /// What a binary property list may expand to through shared objects, in values plus bytes of
    /// string, data and key contents, once per reference: this many times the file's size, plus
    /// `expansionAllowance`. A file without shared objects stays under twice its size (UTF-16
    /// text grows by half in UTF-8); writers share repeated keys and small values, which adds a
    /// few times more at most. A graph of shared arrays, each referencing the next twice, doubles
    /// with every level and meets this bound within a few levels.
    std::size_t maximumExpansionFactor = 16;
    std::size_t expansionAllowance = 64 * 1024;
};

struct Result {
    std::optional<ZRPropertyList> value;
    /// Empty on success.
    std::string errorDescription;
    Format format = Format::XML;

    explicit operator bool() const { return value.has_value(); }
};

/// A property list in any of its three forms: binary ("bplist00"), XML, or old-style (OpenStep,
/// as .strings files use, UTF-8 or UTF-16 with a byte order mark). Input that starts with
/// "bplist00" is binary; input whose first character after an optional byte order mark and white
/// space is '<' is XML; anything else is old-style. `Result::format` names the form chosen.
///
/// Strings are always valid UTF-8. Readers refuse what they cannot represent faithfully: integers
/// beyond the signed 64-bit range, UTF-16 with unpaired surrogates, dates outside the years 0001
/// to 9999 (the XML date form cannot express them).
Result readPropertyList(std::span<const std::uint8_t> bytes, const Limits& limits = {});
/// XML: a <plist> root or a bare value element. The document type may name an external DTD, which
/// is never loaded; internal subsets, and with them every entity declaration, are refused.
/// Duplicate dictionary keys keep their first position and take the last value (in every form).
Result readXML(std::span<const std::uint8_t> bytes, const Limits& limits = {});
/// Binary ("bplist00"): keyed-archive UIDs read as the dictionary {"CF$UID" = n} that XML uses
/// for them; sets, fill bytes, unknown markers and non-ASCII bytes in ASCII strings fail.
Result readBinary(std::span<const std::uint8_t> bytes, const Limits& limits = {});
/// Old-style: a value, or a strings file ("key" = "value"; entries without braces, where "key";
/// alone maps the key to itself; empty text is an empty dictionary). Octal escapes name Latin-1
/// characters.
Result readOpenStep(std::span<const std::uint8_t> bytes, const Limits& limits = {});
/// JSON: true and false become Booleans, null the null value, numbers integers when they are
/// written without fraction or exponent and fit in a signed 64-bit integer, reals otherwise.
Result readJSON(std::span<const std::uint8_t> bytes, const Limits& limits = {});

} // namespace ZRPropertyListReader
