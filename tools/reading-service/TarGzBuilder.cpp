#include "TarGzBuilder.h"

#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace brindlewick {

namespace {

constexpr int block = 512;

void putOctal(char* header, int offset, int length, qint64 value) {
  const QByteArray digits = QByteArray::number(value, 8).rightJustified(length - 1, '0');
  std::memcpy(header + offset, digits.constData(), size_t(length - 1));
  header[offset + length - 1] = '\0';
}

void padToBlock(QByteArray& tar) {
  tar.append(QByteArray((block - tar.size() % block) % block, '\0'));
}

} // namespace

void TarGzBuilder::addHeader(char type, const QByteArray& name, qint64 size, int mode,
                             const QByteArray& linkTarget) {
  if (name.size() > 100) {
    // "<length> path=<name>\n", the length counting itself.
    const QByteArray body = " path=" + name + '\n';
    int length = int(body.size()) + 1;
    while (QByteArray::number(length).size() + body.size() != length)
      ++length;
    const QByteArray record = QByteArray::number(length) + body;
    addHeader('x', "PaxHeader", record.size(), 0644, {});
    m_tar.append(record);
    padToBlock(m_tar);
  }
  char header[block] = {};
  std::memcpy(header, name.constData(), size_t(std::min<qsizetype>(name.size(), 100)));
  putOctal(header, 100, 8, mode);
  putOctal(header, 108, 8, 0);
  putOctal(header, 116, 8, 0);
  putOctal(header, 124, 12, size);
  putOctal(header, 136, 12, 1700000000);
  header[156] = type;
  std::memcpy(header + 157, linkTarget.constData(), size_t(std::min<qsizetype>(linkTarget.size(), 100)));
  std::memcpy(header + 257,
              "ustar\0"
              "00",
              8);
  std::memset(header + 148, ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : header)
    sum += c;
  putOctal(header, 148, 7, sum);
  header[155] = ' ';
  m_tar.append(header, block);
}

void TarGzBuilder::addFolder(const QByteArray& name, int mode) {
  addEntry('5', name, {}, mode);
}

void TarGzBuilder::addFile(const QByteArray& name, const QByteArray& contents, int mode) {
  addEntry('0', name, contents, mode);
}

void TarGzBuilder::addLink(const QByteArray& name, const QByteArray& target) {
  addEntry('2', name, {}, 0777, target);
}

void TarGzBuilder::addEntry(char type, const QByteArray& name, const QByteArray& contents, int mode,
                            const QByteArray& linkTarget) {
  addHeader(type, name, contents.size(), mode, linkTarget);
  m_tar.append(contents);
  padToBlock(m_tar);
}

QByteArray TarGzBuilder::tar() const {
  return m_tar + QByteArray(2 * block, '\0');
}

QByteArray TarGzBuilder::archive() const {
  return gzip(tar());
}

QByteArray TarGzBuilder::gzip(const QByteArray& data) {
  z_stream stream{};
  // 16 + the window bits: a gzip wrapper.
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
  stream.avail_in = uInt(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  const int status = deflate(&stream, Z_FINISH);
  deflateEnd(&stream);
  if (status != Z_STREAM_END)
    throw std::runtime_error("deflate failed");
  out.resize(qsizetype(stream.total_out));
  return out;
}

} // namespace brindlewick
