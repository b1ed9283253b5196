// A layer record's zlib stream held in memory between the thread that writes or reads the
// document file in order and the worker that codes it. Kept in pieces of 1 MiB: no block of
// the whole stream's size is needed, and each piece goes to the coder or the file as it is.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/Types.h"

class RecordStream {
 public:
  static constexpr UINT kPiece = 0x100000;

  // A piece of kPiece bytes at the end (left uninitialised); Commit says how many of them
  // hold the stream. A last piece that holds nothing yet is handed out again.
  BYTE* Append() {
    if (!m_pieces.empty() && m_pieces.back().size == 0) return m_pieces.back().data.get();
    m_pieces.push_back(Piece{std::unique_ptr<BYTE[]>(new BYTE[kPiece]), 0});
    return m_pieces.back().data.get();
  }
  void Commit(UINT n) {
    m_pieces.back().size = n;
    m_bytes += n;
  }
  void Clear() {
    m_pieces.clear();
    m_bytes = 0;
  }

  size_t Pieces() const { return m_pieces.size(); }
  const BYTE* Data(size_t i) const { return m_pieces[i].data.get(); }
  UINT Size(size_t i) const { return m_pieces[i].size; }
  uint64_t Bytes() const { return m_bytes; }

 private:
  struct Piece {
    std::unique_ptr<BYTE[]> data;
    UINT size;
  };
  std::vector<Piece> m_pieces;
  uint64_t m_bytes = 0;
};
