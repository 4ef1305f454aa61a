// Writes PNG pictures of the main window, its panels and the message windows,
// for checking the look without a display:
//   kartovo-screenshots OUTPUT_FOLDER [SETTINGS_INI CARD_IMAGE...]
// With a settings file (e.g. made by kartovo-demo) each card image is loaded
// through "&Plik", read and listed, and the window is pictured at each step.
#include "app/ui/CardController.h"
#include "app/ui/ListPanel.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageWindow.h"
#include "app/ui/OptionsPanel.h"
#include "app/ui/Translations.h"
#include "app/FileChoice.h"
#include <QFileDialog>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QPainter>
#include <QPushButton>
#include <QTextStream>
#include "platform/SettingsStore.h"

using namespace kartovo;

namespace {

bool save(QWidget& w, const QString& folder, const QString& name) {
    QApplication::processEvents();
    const QString path = QDir(folder).filePath(name);
    const bool ok = w.grab().save(path, "PNG");
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

// A stand-in card: grid lines, a few marks and the counts above the columns.
void showSampleCard(MainWindow& w) {
    const int columns = 25, rows = 20, cell = 30;
    QImage card(columns * cell + 1, rows * cell + 1, QImage::Format_RGB32);
    card.fill(Qt::white);
    QPainter p(&card);
    p.setPen(QColor(192, 192, 192));
    for (int c = 0; c <= columns; ++c) p.drawLine(c * cell, 0, c * cell, rows * cell);
    for (int r = 0; r <= rows; ++r) p.drawLine(0, r * cell, columns * cell, r * cell);
    p.setPen(QPen(QColor(255, 0, 0), 2));
    p.drawLine(0, 4 * cell, columns * cell, 4 * cell);
    p.drawLine(0, 16 * cell, columns * cell, 16 * cell);
    QImage strip(card.width(), 19, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter s(&strip);
    for (int c = 0; c < columns; ++c) {
        const int r = 8 + (c * 7) % 5;
        p.fillRect(c * cell + 6, r * cell + 6, cell - 12, cell - 12, Qt::black);
        s.drawText(QRect(c * cell, 0, cell, 19), Qt::AlignCenter, QStringLiteral("1"));
    }
    p.end();
    s.end();
    w.pictures().setImage(Picture::P1, card);
    w.pictures().setImage(Picture::P3, strip);
    QImage code(220, 40, QImage::Format_RGB32);
    code.fill(Qt::white);
    QPainter k(&code);
    for (int i = 0; i < 11; ++i)
        if (i % 3 != 1) k.fillRect(i * 20 + 2, 4, 16, 32, Qt::black);
    k.end();
    w.pictures().setImage(Picture::P4, code);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "użycie: kartovo-screenshots KATALOG\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    bool ok = true;
    InstallTranslations();
    {
        // The file dialog of "&Plik" as the program opens it.
        QFileDialog d(nullptr, kImageFileTitle, folder, QtFileFilter(kImageFileMask));
        d.setOption(QFileDialog::DontUseNativeDialog);
        d.resize(760, 480);
        d.show();
        ok &= save(d, folder, QStringLiteral("plik.png"));
    }

    for (const QSize size : {QSize(1366, 768), QSize(1920, 1080)}) {
        MainWindow w;
        w.resize(size);
        w.show();
        ok &= save(w, folder, QStringLiteral("main-%1x%2.png").arg(size.width()).arg(size.height()));
    }
    {
        // Both panels open, every option showing its controls, a sample card.
        MainWindow w;
        w.resize(1280, 1024);
        w.show();
        showSampleCard(w);
        StationOptions o;
        o.exchangeFolder = QStringLiteral("/srv/wymiana/karty/");
        o.removeNoise = true;
        o.colourFilter = true;
        o.filterColour = 0;
        o.filterRed = 200;
        o.filterGreen = 90;
        o.filterBlue = 40;
        o.filterSensitivity = 1;
        w.optionsPanel()->applyOptions(o);
        w.optionsPanel()->toggle();
        w.listPanel()->list()->addItems({QStringLiteral("Lp\tSekcja\tPomiar"), QStringLiteral("1\t1\t10,25"),
                                         QStringLiteral("2\t2\t10,30"), QStringLiteral("3\t3\t10,20")});
        w.listPanel()->toggle();
        w.setThresholdCaption(QStringLiteral("25%"));
        ok &= save(w, folder, QStringLiteral("main-panels-1280x1024.png"));
    }
    {
        MessageRequest r;
        r.text = QStringLiteral("W podanej lokalizacji:\r/HOME/OPERATOR/BAZA\rnie znaleziono pliku NORV.MDB\r"
                                "Uruchom program główny NORV Vedi - SPC aby poprawnie zdefiniować położenie baz "
                                "danych - Przerywam !");
        r.title = QStringLiteral("UWAGA !!!");
        MessageWindow m(r);
        m.show();
        ok &= save(m, folder, QStringLiteral("message.png"));
    }
    {
        MessageRequest r;
        r.text = QStringLiteral("Czy zapisać pomiary karty do bazy danych ? Zażółć gęślą jaźń.");
        r.title = QStringLiteral("UWAGA !!!");
        r.style = 128;
        r.question = true;
        MessageWindow q(r);
        q.show();
        ok &= save(q, folder, QStringLiteral("question.png"));
    }
    if (argc > 3) {
        SettingsStore::setOverridePath(QString::fromLocal8Bit(argv[2]));
        MainWindow w;
        const QSize size = qEnvironmentVariableIsSet("KARTOVO_SHOT_SIZE")
                               ? QSize(qEnvironmentVariable("KARTOVO_SHOT_SIZE").section(u'x', 0, 0).toInt(),
                                       qEnvironmentVariable("KARTOVO_SHOT_SIZE").section(u'x', 1, 1).toInt())
                               : QSize(1366, 768);
        if (!w.start()) return 1;
        w.resize(size);
        for (int i = 3; i < argc; ++i) {
            const QString card = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
            const QString base = QFileInfo(card).completeBaseName();
            w.cards()->setFileDialog([card](const QString&, const QString&, const QString&) { return card; });
            w.findChild<QPushButton*>(QStringLiteral("Command4"))->click();
            // The card goes its road on a worker thread.
            while (w.cards()->busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            ok &= save(w, folder, base + QStringLiteral("-1-zaladowana.png"));
            auto* read = w.findChild<QPushButton*>(QStringLiteral("Command7"));
            if (!read->isEnabled()) continue;
            read->click();
            ok &= save(w, folder, base + QStringLiteral("-2-odczytana.png"));
            w.findChild<QPushButton*>(QStringLiteral("Command10"))->click();
            w.listPanel()->list()->setCurrentRow(1);
            ok &= save(w, folder, base + QStringLiteral("-3-pomiary.png"));
            w.fitCardToWindow();
            ok &= save(w, folder, base + QStringLiteral("-4-dopasowana.png"));
            w.setCardScale(1.0);
            w.findChild<QPushButton*>(QStringLiteral("Command10"))->click();
        }
        // Automatic mode on the cards' folder, after its first look.
        auto* folder1 = w.findChild<QLineEdit*>(QStringLiteral("Text1"));
        folder1->setText(QFileInfo(QString::fromLocal8Bit(argv[3])).absolutePath() + u'/');
        w.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        ok &= save(w, folder, QStringLiteral("auto.png"));
        w.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    }
    return ok ? 0 : 1;
}
