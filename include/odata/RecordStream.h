// A layer record's zlib stream held in memory between the thread that writes or reads the
// document file in order and the worker that codes it. The coders fill and read it as one
// contiguous piece of the stream's size (or of its bound while it is written); the
// piecewise coders use pieces of 1 MiB, so that no block of the whole stream is needed.
// Clear keeps the first piece's storage for the next stream: a stream that carries record
// after record has its memory mapped in once, not once a record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/Types.h"

class RecordStream {
 public:
  static constexpr UINT kPiece = 0x100000;

  // A piece of at least room bytes at the end (left uninitialised); Commit says how many of
  // them hold the stream. A last piece that holds nothing yet and has that room is handed out
  // again.
  BYTE* Append(size_t room = kPiece) {
    if (!m_pieces.empty() && m_pieces.back().size == 0 && m_pieces.back().room >= room)
      return m_pieces.back().data.get();
    if (m_pieces.empty() && m_kept.room >= room) {
      m_pieces.push_back(std::move(m_kept));
      m_kept = Piece{};
    } else {
      m_pieces.push_back(Piece{std::unique_ptr<BYTE[]>(new BYTE[room]), 0, room});
    }
    return m_pieces.back().data.get();
  }
  void Commit(size_t n) {
    m_pieces.back().size = n;
    m_bytes += n;
  }
  void Clear() {
    if (!m_pieces.empty() && m_pieces.front().room > m_kept.room) {
      m_kept = std::move(m_pieces.front());
      m_kept.size = 0;
    }
    m_pieces.clear();
    m_bytes = 0;
  }

  size_t Pieces() const { return m_pieces.size(); }
  const BYTE* Data(size_t i) const { return m_pieces[i].data.get(); }
  size_t Size(size_t i) const { return m_pieces[i].size; }
  uint64_t Bytes() const { return m_bytes; }

 private:
  struct Piece {
    std::unique_ptr<BYTE[]> data;
    size_t size = 0;
    size_t room = 0;
  };
  std::vector<Piece> m_pieces;
  Piece m_kept;  // storage Clear kept, handed out by the next Append that fits in it
  uint64_t m_bytes = 0;
};
