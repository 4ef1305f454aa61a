#pragma once

// Test set-up shared by the scanner tests: the scanner library is pointed at a
// private configuration folder that enables only its virtual "test" and "pnm"
// devices, so the tests need no scanner and no change under /etc. The library
// reads the folder's name once per process, at its first start, so Install()
// must run before any scanner object is used.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdlib>

namespace kartovo::testing {

class SaneTestConfig {
public:
    static QString folder() {
        static QTemporaryDir dir;
        return dir.path();
    }

    static void Install() {
        static const bool done = [] {
            writeFile(QStringLiteral("test.conf"), R"(number_of_devices 2
mode Gray
depth 8
three-pass false
resolution 50.0
test-picture "Solid black"
read-limit false
read-delay false
br_x 80.0
br_y 100.0
)");
            SetBackends({QStringLiteral("test"), QStringLiteral("pnm")});
            // No trailing colon: the system folders are not searched at all.
            qputenv("SANE_CONFIG_DIR", QFile::encodeName(folder()));
            return true;
        }();
        (void)done;
    }

    // Takes effect at the library's next start, that is once every scanner
    // object has gone.
    static void SetBackends(const QStringList& backends) {
        writeFile(QStringLiteral("dll.conf"), backends.isEmpty() ? QByteArray() : backends.join(u'\n').toUtf8() + '\n');
    }

private:
    static void writeFile(const QString& name, const QByteArray& content) {
        QFile f(QDir(folder()).filePath(name));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(content);
    }
};

} // namespace kartovo::testing
