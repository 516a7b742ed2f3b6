// libFuzzer harness for the ranking file reader: any bytes read without failing, and what is then written
// is the program's own 49-line layout, which reads and writes back unchanged.
#include "ranking/module1.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ranking::Tables tables;
    ranking::readRanking(QByteArrayView(data, static_cast<qsizetype>(size)), tables);
    const QByteArray written = ranking::writeRanking(tables);
    ranking::Tables again;
    ranking::readRanking(written, again);
    const bool layout =
        written.count('\n') == 49 && written.count('\r') == 49 && written.endsWith("\r\n0\r\n");
    if (!layout || ranking::writeRanking(again) != written) {
        std::abort();
    }
    return 0;
}
