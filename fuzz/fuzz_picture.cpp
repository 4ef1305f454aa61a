// libFuzzer target: any bytes as a card picture file. Decoded twice (with
// memory of the decoded size scribbled on between the two, so that a picture
// built from memory the file did not fill shows as a difference), then the
// card road: recognition and, when a code is read, the reading of the marks;
// a card read as another than the seeds' parameter 19 without a refusal is
// a finding too.
#include "PictureRoad.h"

#include <QGuiApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using kartovo::test::RoadOutcome;
using kartovo::test::RunPictureRoad;

namespace {

void scribble(qsizetype bytes, int round) {
    if (bytes <= 0) return;
    for (qsizetype n : {bytes, bytes / 4, bytes / 3, bytes * 3 / 4}) { // decoders' own depths
        if (n <= 0) continue;
        void* p = std::malloc(size_t(n));
        if (!p) return;
        std::memset(p, 0x5a ^ round, size_t(n));
        std::free(p);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_picture";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false\n*.info=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static int round = 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const RoadOutcome first = RunPictureRoad(bytes, false);
    scribble(qsizetype(first.size.width()) * first.size.height() * 4, ++round);
    const RoadOutcome second = RunPictureRoad(bytes, true);
    if (!first.sameDecode(second)) {
        std::fprintf(stderr, "fuzz_picture: two decodes differ:\n  %s\n  %s\n", first.describe().c_str(),
                     second.describe().c_str());
        std::abort();
    }
    // Every seed card is parameter 19: a card read as another, without a
    // refusal, is a misread (a wrong row in the database).
    if (second.codeRead && second.refusal.isEmpty() && second.parameter != 19) {
        std::fprintf(stderr, "fuzz_picture: read as another card:\n  %s\n", second.describe().c_str());
        std::abort();
    }
    if (std::getenv("FUZZ_PICTURE_VERBOSE")) std::fprintf(stderr, "%s\n", second.describe().c_str());
    return 0;
}
