#include "CardWindowSupport.h"

#include <QLabel>
#include <QPushButton>

#include <Magick++.h>

#include <vector>

namespace kartovo::test {
namespace {

// Cards chosen through "&Plik" in every format the dialog offers, and in PNG.
class FileFormatsTest : public CardWindowTest {
protected:
    void SetUp() override {
        CardWindowTest::SetUp();
        m_cards = m_dir.filePath(QStringLiteral("karty"));
        QDir().mkpath(m_cards);
    }

    // Formats Qt cannot write go through GraphicsMagick++, the library that reads PCX.
    static bool writeWithMagick(const QImage& card, const QString& path, const char* format) {
        const QImage rgb = card.convertToFormat(QImage::Format_RGB888);
        try {
            Magick::InitializeMagick(nullptr);
            std::vector<unsigned char> pixels;
            pixels.reserve(size_t(rgb.width()) * rgb.height() * 3);
            for (int y = 0; y < rgb.height(); ++y) {
                const uchar* line = rgb.constScanLine(y);
                pixels.insert(pixels.end(), line, line + rgb.width() * 3);
            }
            Magick::Image image(rgb.width(), rgb.height(), "RGB", Magick::CharPixel, pixels.data());
            image.magick(format);
            image.write(QFile::encodeName(path).toStdString());
            return true;
        } catch (const Magick::Exception& e) {
            ADD_FAILURE() << e.what();
            return false;
        }
    }

    QString write(const QImage& card, const QString& name) {
        const QString path = m_cards + u'/' + name;
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix == QLatin1String("gif") || suffix == QLatin1String("pcx")) {
            EXPECT_TRUE(writeWithMagick(card, path, suffix == QLatin1String("gif") ? "GIF" : "PCX"))
                << name.toStdString();
        } else {
            EXPECT_TRUE(card.save(path, nullptr, suffix == QLatin1String("jpg") ? 90 : -1)) << name.toStdString();
        }
        return path;
    }

    // Chooses `path` through "&Plik".
    void choose(const QString& path) {
        m_chosen = path;
        control<QPushButton>("Command4")->click();
    }

    int parameterId() const { return m_window->cards()->card().CardParameter.value(QStringLiteral("ID")).toInt(); }

    QString m_cards;
};

TEST_F(FileFormatsTest, EveryOfferedFormatReachesReadyToReadFromAnUnchangedOriginal) {
    struct Case {
        const char* name;
        int id;
    };
    const Case cases[] = {{"k1.jpg", 1}, {"k2.gif", 9}, {"k3.tif", 9}, {"k4.pcx", 1}, {"k5.bmp", 9}, {"k6.png", 1},
                          {"K7.JPG", 9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = write(render(cardSpec(c.id, c.id)), QString::fromLatin1(c.name));
        const QByteArray before = FileHash(path);
        m_messages.clear();
        choose(path);
        const CardState& card = m_window->cards()->card();
        EXPECT_TRUE(card.DialogAccepted);
        EXPECT_EQ(parameterId(), c.id);
        EXPECT_EQ(card.ImagePath, tempBmp());
        EXPECT_EQ(control<QLabel>("Label3")->text(), QStringLiteral("Gotowy do czytania"));
        EXPECT_TRUE(control("Command7")->isEnabled());
        EXPECT_FALSE(m_window->cards()->scannerSource());
        EXPECT_EQ(m_window->run().initialFolder, m_cards + u'/');
        EXPECT_EQ(FileHash(path), before);
        EXPECT_TRUE(m_messages.empty());
    }
    // The next dialog opens where the last card was chosen.
    m_chosen.clear();
    control<QPushButton>("Command4")->click();
    EXPECT_EQ(m_dialogCalls.last().value(2), m_cards + u'/');
}

TEST_F(FileFormatsTest, UndecodableFilesAreSaidAndLeaveTheCurrentCard) {
    choose(write(render(cardSpec(1)), QStringLiteral("dobra.png")));
    ASSERT_EQ(parameterId(), 1);
    const QByteArray working = FileHash(tempBmp());

    QFile whole(write(render(cardSpec(4, 4)), QStringLiteral("cala.jpg")));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray jpeg = whole.readAll();
    const QString truncated = m_cards + QStringLiteral("/urwana.jpg");
    QFile cut(truncated);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(jpeg.left(jpeg.size() / 2));
    cut.close();

    const QString notAnImage = m_cards + QStringLiteral("/tekst.bmp");
    QFile text(notAnImage);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("Karta kontrolna\nto nie jest obraz\n");
    text.close();

    for (const QString& bad : {truncated, notAnImage}) {
        SCOPED_TRACE(bad.toStdString());
        m_messages.clear();
        choose(bad);
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_TRUE(m_messages[0].text.startsWith(QStringLiteral("Nie można odczytać obrazu karty.")));
        EXPECT_EQ(m_messages[0].style, 16);
        // The card on screen is still the earlier one, ready to read.
        EXPECT_EQ(parameterId(), 1);
        EXPECT_TRUE(m_window->cards()->card().DialogAccepted);
        EXPECT_EQ(FileHash(tempBmp()), working);
        EXPECT_TRUE(control("Command7")->isEnabled());
        EXPECT_TRUE(m_window->isEnabled());
    }
}

} // namespace
} // namespace kartovo::test
