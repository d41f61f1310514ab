#include "exchange/compress_text.h"

#include <zlib.h>

#include <climits>

namespace vorel {

std::string CompressText(std::string_view text) {
  if (text.size() > UINT_MAX / 2) throw CompressError("Text too large to compress");
  z_stream zs{};
  if (deflateInit(&zs, Z_BEST_COMPRESSION) != Z_OK) throw CompressError("Cannot start compression");
  std::string out(deflateBound(&zs, static_cast<uLong>(text.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&zs, Z_FINISH);
  const uLong produced = zs.total_out;
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw CompressError("Compression did not finish");
  out.resize(produced);
  return out;
}

std::string DecompressText(std::string_view stream) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) throw CompressError("Cannot start decompression");
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  zs.avail_in = static_cast<uInt>(stream.size());
  std::string out;
  char buffer[16384];
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    zs.next_out = reinterpret_cast<Bytef*>(buffer);
    zs.avail_out = sizeof buffer;
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      inflateEnd(&zs);
      throw CompressError("Damaged compressed data");
    }
    out.append(buffer, sizeof buffer - zs.avail_out);
    if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) {
      inflateEnd(&zs);
      throw CompressError("Compressed data ends early");
    }
  }
  inflateEnd(&zs);
  return out;
}

}  // namespace vorel
