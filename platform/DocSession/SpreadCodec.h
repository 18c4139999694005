// How a baseline keeps a spread's pixels: StoredSpread (RegressionStore.h) compresses them here,
// and decompresses them a few pieces at a time. Only RegressionStore.cpp and SpreadCodec.cpp
// include this.
//
// A spread's stored bytes are one zlib stream of its planes (channel after channel, rows top to
// bottom, no padding), which must inflate to exactly the spread's raw byte count.
//   - Under 1 MiB of samples: the stream as compress2 writes it at the default level.
//   - From 1 MiB, banded: compress2's 2-byte header; the bands, each whole 256-row tile rows of
//     one plane, at least 1 MiB (the last of a plane what is left), in plane and row order, each
//     raw deflate from a fresh compressor at the default level, each but the last ended by a full
//     flush; then the big-endian Adler-32 of all the samples, which ends the stream. (Whole
//     instead when that would pass zlib's bound for the samples, which the file's limit assumes.)
//   - After the stream, still within the spread's byte count, the band index, little-endian: per
//     band the 8-byte offset (from the spread's first byte) just past its data and the 4-byte
//     Adler-32 of its samples; then the 4-byte band count and the 8 bytes "QVBANDS1".
// Bands inflate on several threads only when the index fits the stream exactly (the count for
// the spread's size, each band where the one before ends, the last at the stream's Adler-32,
// which the bands' combine to) and each band gives its samples and their Adler-32, ending the
// stream if and only if it is the last. Anything else inflates as the one stream, which checks
// itself: builds from before bands read either form, and this one reads theirs.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "Kernel/Counted.h"
#include "Kernel/FileSystem.h"

// The bytes a baseline is read from: text in memory, or a file left open and read where each
// part lies.
class BaselineData {
public:
    explicit BaselineData(std::shared_ptr<const std::string> text) : m_text(std::move(text)) {}
    explicit BaselineData(Kernel::Counted<Kernel::ReadOnlyFile> file) : m_file(std::move(file)) {}

    uint64_t GetSize() const { return m_file ? m_file->GetSize() : m_text->size(); }
    // Up to length bytes from offset, fewer where the data ends: a view of the text, or of buffer
    // read from the file. False, with the reason, when the file cannot be read.
    bool Read(uint64_t offset, size_t length, std::string& buffer, std::string_view& bytes, std::string& reason) const {
        if (!m_file) {
            bytes = offset < m_text->size() ? std::string_view(*m_text).substr(size_t(offset), length) : std::string_view();
            return true;
        }
        bytes = {};
        if (!m_file->ReadAt(offset, length, buffer, reason)) return false;
        bytes = buffer;
        return true;
    }

private:
    std::shared_ptr<const std::string> m_text;
    Kernel::Counted<Kernel::ReadOnlyFile> m_file;
};
