#pragma once

#include <QByteArray>
#include <QList>

namespace brindlewick {

// Writes small gzip-compressed tar archives (ustar headers, a pax header for a long name), for
// the stand-in's sample release and for tests that need archives a reader must refuse: entries
// are written as given, absolute names, "..", any entry type and all.
class TarGzBuilder {
public:
  void addFolder(const QByteArray& name, int mode = 0755);
  void addFile(const QByteArray& name, const QByteArray& contents, int mode = 0644);
  void addLink(const QByteArray& name, const QByteArray& target);
  // An entry of any type (the ustar type flag), contents as given.
  void addEntry(char type, const QByteArray& name, const QByteArray& contents, int mode = 0644,
                const QByteArray& linkTarget = {});

  // The tar stream with its end marker.
  QByteArray tar() const;
  // The same, gzip-compressed.
  QByteArray archive() const;

  static QByteArray gzip(const QByteArray& data);

private:
  void addHeader(char type, const QByteArray& name, qint64 size, int mode, const QByteArray& linkTarget);

  QByteArray m_tar;
};

} // namespace brindlewick
