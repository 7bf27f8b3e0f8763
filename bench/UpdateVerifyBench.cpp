// Verifying the Ed25519 signature of a 50 MB update archive: the updater's own check (the file
// copied into sealed memory, that copy mapped, one OpenSSL call) against running `openssl pkeyutl -verify
// -rawin` on the same file, side by side in one run.
#include "BenchmarkRunner.h"
#include "update/UpdateSignature.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace brindlewick;

namespace {

constexpr qint64 archiveBytes = 50 * 1000 * 1000;

struct Archive {
  QTemporaryDir folder;
  QString file = folder.filePath("archive.tar.gz");
  QString key = folder.filePath("key.pem");
  QString publicPem = folder.filePath("public.pem");
  QString signatureFile = folder.filePath("archive.sig");
  QByteArray publicKey;
  QByteArray signature;
};

QByteArray run(const QStringList& arguments) {
  QProcess openssl;
  openssl.start("openssl", arguments);
  openssl.waitForFinished(-1);
  if (openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0)
    qFatal("openssl %s failed", qPrintable(arguments.join(' ')));
  return openssl.readAllStandardOutput();
}

Archive& archive() {
  static Archive* made = [] {
    auto* a = new Archive;
    QByteArray bytes(archiveBytes, '\0');
    QRandomGenerator generator(43);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    QFile file(a->file);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
      qFatal("cannot write the archive");
    file.close();
    run({"genpkey", "-algorithm", "ed25519", "-out", a->key});
    run({"pkey", "-in", a->key, "-pubout", "-out", a->publicPem});
    a->publicKey = run({"pkey", "-in", a->key, "-pubout", "-outform", "DER"}).right(32);
    run({"pkeyutl", "-sign", "-rawin", "-inkey", a->key, "-in", a->file, "-out", a->signatureFile});
    QFile signature(a->signatureFile);
    signature.open(QIODevice::ReadOnly);
    a->signature = signature.readAll();
    return a;
  }();
  return *made;
}

void opensslCommand(benchmark::State& state) {
  const Archive& a = archive();
  for (auto _ : state) {
    const QByteArray said = run({"pkeyutl", "-verify", "-pubin", "-inkey", a.publicPem, "-rawin", "-in",
                                 a.file, "-sigfile", a.signatureFile});
    if (!said.contains("Signature Verified Successfully")) {
      state.SkipWithError("openssl refused the signature");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * archiveBytes);
}

void updaterVerify(benchmark::State& state) {
  const Archive& a = archive();
  for (auto _ : state) {
    if (!UpdateSignature::verifyFile(a.publicKey, a.signature, a.file)) {
      state.SkipWithError("the updater refused the signature");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * archiveBytes);
}

} // namespace

BENCHMARK(opensslCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(updaterVerify)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

int main(int argc, char** argv) {
  return brindlewick::runBenchmarks(argc, argv, [] { archive(); });
}
