#pragma once

// The scanner library's virtual devices only; it reads the backend list at each start.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <utility>

namespace kartovo::testing {

struct SaneTestConfig {
    static void install() { SetBackends("test\npnm\n"); }
    static void SetBackends(const QByteArray& backends) {
        static QTemporaryDir dir;
        const QByteArray test("number_of_devices 2\nmode Gray\ndepth 8\nthree-pass false\nresolution 50.0\n"
                              "test-picture \"Solid black\"\nread-limit false\nread-delay false\nbr_x 80.0\nbr_y 100.0\n");
        for (const auto& [name, text] : {std::pair{"dll.conf", backends}, {"test.conf", test}}) {
            QFile f(QDir(dir.path()).filePath(QString::fromLatin1(name)));
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(text);
        }
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(dir.path())); // no trailing colon: no system folders
    }
};

} // namespace kartovo::testing
