#pragma once

// The scanner library pointed at a private configuration folder that enables
// only its virtual "test" and "pnm" devices: no scanner and no change under
// /etc needed. The library reads the folder's name once per process, at its
// first start, so Install() must run before any scanner object is used.

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace kartovo::testing {

class SaneTestConfig {
public:
    static void Install() {
        static const bool done = [] {
            writeFile(QStringLiteral("test.conf"), "number_of_devices 2\nmode Gray\ndepth 8\nthree-pass false\n"
                                                   "resolution 50.0\ntest-picture \"Solid black\"\nread-limit false\n"
                                                   "read-delay false\nbr_x 80.0\nbr_y 100.0\n");
            SetBackends({QStringLiteral("test"), QStringLiteral("pnm")});
            // No trailing colon: the system folders are not searched at all.
            qputenv("SANE_CONFIG_DIR", QFile::encodeName(folder()));
            return true;
        }();
        (void)done;
    }

    // Takes effect at the library's next start, once every scanner object has gone.
    static void SetBackends(const QStringList& backends) {
        writeFile(QStringLiteral("dll.conf"), backends.isEmpty() ? QByteArray() : backends.join(u'\n').toUtf8() + '\n');
    }

private:
    static QString folder() {
        static QTemporaryDir dir;
        return dir.path();
    }
    static void writeFile(const QString& name, const QByteArray& content) {
        QFile f(QDir(folder()).filePath(name));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(content);
    }
};

} // namespace kartovo::testing
