#pragma once

#include "app/CardPictures.h"
#include "app/StationOptions.h"
#include "app/ui/MainWidgets.h"
#include "app/Startup.h"
#include "reading/ReadingState.h"

#include <QByteArray>
#include <QMainWindow>
#include <functional>

class QLabel;
class QWheelEvent;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTimer;

namespace kartovo {

class DbConnection;
class CardController;
class ListPanel;
class OptionsPanel;
class PictureView;
class ReadingController;
class SmallImage;

// The main window "Kartovo": the program itself. It holds the run's state and
// the pictures of the current card, runs the start-up and the closing save.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // How the program ends: the real program leaves its event loop; tests record.
    using EndProgram = std::function<void(int exitCode)>;
    // Opens the database and checks its content; false when the program must end.
    using DatabaseStartup = std::function<bool(const DatabaseConfig&)>;

    explicit MainWindow(QWidget* parent = nullptr);

    void setEndProgram(EndProgram end) { m_endProgram = std::move(end); }
    void setDatabaseStartup(DatabaseStartup startup) { m_databaseStartup = std::move(startup); }

    // The start-up: reads the options, checks the database configuration (the
    // window is shown on the way) and opens the database. Returns false, after
    // ending the program, when a refusal was shown.
    bool start();
    // Ends the program at once, without the closing save.
    void endProgram(int exitCode);
    bool ended() const { return m_ended; }

    RunState& run() { return m_run; }
    const RunState& run() const { return m_run; }
    CardPictures& pictures() { return m_pictures; }
    OptionsPanel* optionsPanel() const { return m_widgets.optionsPanel; }
    // The controls the window's controllers drive.
    const MainWidgets& widgets() const { return m_widgets; }
    ListPanel* listPanel() const { return m_widgets.listPanel; }
    // The current card and the commands that take it through the pipeline.
    CardController* cards() const { return m_cards; }
    // The reading of marks and the measurement table of the current card.
    ReadingState& reading() { return m_reading; }
    ReadingController* readingController() const { return m_readingController; }

    // "&Zapisz" (Command13): identification, storing, then ready for the next card.
    void Command13Click();

    // Forgets everything of the card on screen (measurements, list, counts,
    // marks, correction modes) and closes its read and save commands; runs
    // before another card is taken and after a card was stored.
    void dropCard();
    // A card was read and its values are not stored yet.
    bool hasUnsavedCard() const;
    // Whether the card on screen may be read (again): set as each card is
    // processed, cleared when it is dropped or stored.
    void setCardReadable(bool readable) { m_nothingToRead = !readable; }
    // Whether a card file of this content is already stored; the database's
    // record of stored cards by default, tests put their own in.
    using StoredCheck = std::function<bool(DbConnection& conn, const QByteArray& hash)>;
    void setStoredCheck(StoredCheck check) { m_storedCheck = std::move(check); }

    // Scale of the card view: screen pixels per card pixel (1 = 100 %).
    // "Dopasuj" fits the card into the window and keeps it fitted; Ctrl and
    // the mouse wheel over the card zoom. Clicks still act on card pixels.
    double cardScale() const { return m_cardScale; }
    void setCardScale(double scale);
    void fitCardToWindow();

    static QString storedAgainQuestion(const QString& cardName);
    static QString unsavedCardQuestion();
    // Status line after a save: parameter, samples stored, time.
    static QString savedStatusText(const QString& parameter, int rows, const QString& time);

    // Everything the closing save writes, as it stands now.
    StationOptions currentOptions() const;
    QString thresholdCaption() const;
    void setThresholdCaption(const QString& caption);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPushButton* addCommand(const QString& name, const QString& caption, QWidget* parent);
    void buildTopBar(QWidget* central);
    void buildCardView(QWidget* central);
    void stepThreshold(int delta);
    void placeControls();
    void updateScrollRanges();
    void onCardPictureChanged(Picture p);
    void closingSave();
    bool mayEndWithCard();
    void restoreGeometry();
    void setStatusLine(const QString& text);
    void applyCardScale(double scale);
    void wireCardCommands();
    void resetForNextCard();

    RunState m_run;
    CardPictures m_pictures;
    EndProgram m_endProgram;
    DatabaseStartup m_databaseStartup;
    StoredCheck m_storedCheck;
    bool m_started = false;
    bool m_ended = false;

    QWidget* m_central = nullptr;
    MainWidgets m_widgets;
    PictureView* m_p2 = nullptr;
    QScrollBar* m_wPion = nullptr;
    QScrollBar* m_wPoziom = nullptr;
    CardController* m_cards = nullptr;
    ReadingState m_reading;
    ReadingController* m_readingController = nullptr;
    QLabel* m_scaleLabel = nullptr;
    double m_cardScale = 1.0;
    bool m_fitCard = false;
    bool m_nothingToRead = false;
};

} // namespace kartovo
