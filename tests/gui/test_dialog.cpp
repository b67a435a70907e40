// The dialog on the offscreen platform: controls and captions, drops, the
// message boxes and their order, the About box, start-up and the exit paths.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "about_box.h"
#include "decode_file.h"
#include "decoder_app.h"
#include "decoder_dlg.h"
#include "family_symbols.h"
#include "model1_symbols.h"
#include "qr_symbols.h"

namespace vt = vantor::testing;

namespace {

QString executable_name;

// A message box as the user saw it, with what the dialog's boxes held then.
struct SeenMessage {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format;
    QString name_box;
    QString result_box;
    bool dialog_visible;
};

// Answers every modal box that opens while it lives: message boxes are
// recorded and confirmed with OK, an About box is recorded and closed.
class ModalWatcher {
public:
    explicit ModalWatcher(CDecoderDlg *dialog) : dialog_(dialog) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    std::vector<SeenMessage> messages;
    std::vector<QString> about_versions;
    std::vector<QString> about_captions;

private:
    void poll() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == dialog_)
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            messages.push_back({box->windowTitle(), box->text(), box->icon(),
                                box->standardButtons(), box->textFormat(),
                                dialog_ ? dialog_->m_editName->text() : QString(),
                                dialog_ ? dialog_->m_editText->toPlainText() : QString(),
                                dialog_ && dialog_->isVisible()});
            box->button(QMessageBox::Ok)->click();
        } else if (auto *about = qobject_cast<CAboutBox *>(modal)) {
            about_versions.push_back(about->m_editVersion->text());
            about_captions.push_back(about->windowTitle());
            about->findChild<QPushButton *>(QStringLiteral("okButton"))->click();
        }
    }

    CDecoderDlg *dialog_;
    QTimer timer_;
};

// Drops the files on the dialog as a file manager does and waits until the
// queued drop has been handled.
void drop_urls(CDecoderDlg &dialog, const QList<QUrl> &urls) {
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(&dialog, &drop);
    ASSERT_TRUE(drop.isAccepted());
    // Never taken as a move, which would let the source delete the file.
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    QApplication::processEvents();
}

void drop_files(CDecoderDlg &dialog, const std::vector<std::string> &paths) {
    QList<QUrl> urls;
    for (const std::string &path : paths)
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
    drop_urls(dialog, urls);
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = vt::temp_dir("dialog");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // A file of a format no reader takes (a RIFF sound file), named as the
    // caller says.
    std::string write_png(const std::string &name) {
        const std::string path = dir + "/" + name;
        const std::uint8_t bytes[] = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'};
        EXPECT_TRUE(vt::write_bytes(path, bytes));
        return path;
    }

    std::string write_symbol(const std::string &name, std::string_view text, vt::Mode mode) {
        const auto symbol = vt::make_symbol(text, 0, vt::Level::M, mode);
        EXPECT_TRUE(symbol);
        const std::string path = dir + "/" + name;
        if (symbol) {
            EXPECT_TRUE(vt::write_bmp24(path, vt::render(*symbol, {.module_px = 4.0})));
        }
        return path;
    }

    void expect_warning_ok(const SeenMessage &seen) {
        EXPECT_EQ(seen.caption, executable_name);
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    std::string dir;
    CDecoderApp app;
};

const QString unsupported = QString::fromUtf8(vantor::unsupported_format_message);
const QString no_symbol = QString::fromUtf8(vantor::no_symbol_message);
// The reader's text for a file of no format it reads, after the file's name.
const std::string not_read = " is not an image format Vantor reads (" VANTOR_IMAGE_FORMATS ").\n";

TEST_F(DialogTest, ControlsCaptionsAndArrangement) {
    CDecoderDlg dialog(app);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("VantorGUI"));
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "not resizable";

    EXPECT_EQ(dialog.m_buttonClose->text(), QString::fromUtf8("閉じる"));
    EXPECT_TRUE(dialog.m_buttonClose->isDefault());
    EXPECT_EQ(dialog.m_buttonAbout->text(), QStringLiteral("About"));
    EXPECT_FALSE(dialog.m_buttonAbout->isDefault());
    for (const QPushButton *button : {dialog.m_buttonClose, dialog.m_buttonAbout}) {
        EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), button->width());
    }

    EXPECT_TRUE(dialog.m_editText->isReadOnly());
    EXPECT_EQ(dialog.m_editText->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(dialog.m_editText->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(dialog.m_editText->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(dialog.m_editName->isReadOnly());
    EXPECT_TRUE(dialog.m_editText->toPlainText().isEmpty());
    EXPECT_TRUE(dialog.m_editName->text().isEmpty());
    // The boxes are not reached with the tab key.
    EXPECT_FALSE(dialog.m_editText->focusPolicy() & Qt::TabFocus);
    EXPECT_FALSE(dialog.m_editName->focusPolicy() & Qt::TabFocus);

    // The template's arrangement: the result box across the top, the name
    // box below it on the left, About above 閉じる on the right, all inside
    // the dialog with its 7-unit margins, nothing overlapping.
    const QRect area = dialog.rect();
    const QRect text = dialog.m_editText->geometry();
    const QRect name = dialog.m_editName->geometry();
    const QRect about = dialog.m_buttonAbout->geometry();
    const QRect close = dialog.m_buttonClose->geometry();
    for (const QRect &r : {text, name, about, close}) {
        EXPECT_TRUE(area.contains(r)) << r.x() << "," << r.y();
        EXPECT_GT(r.width(), 0);
        EXPECT_GT(r.height(), 0);
    }
    EXPECT_FALSE(text.intersects(name) || text.intersects(about) || name.intersects(about) ||
                 name.intersects(close) || about.intersects(close));
    EXPECT_EQ(text.left(), name.left());
    EXPECT_EQ(text.right(), close.right());
    EXPECT_EQ(about.left(), close.left());
    EXPECT_EQ(about.width(), close.width());
    EXPECT_LT(text.bottom(), about.top());
    EXPECT_LT(about.bottom(), close.top());
    EXPECT_LT(name.right(), about.left());
    EXPECT_GT(name.bottom(), about.bottom()) << "the name box sits lower than About";
    EXPECT_LT(name.top(), close.top());
    EXPECT_NEAR(area.width() - 1 - text.right(), text.left(), 1) << "equal side margins";
    // 146 x 144 units: a quarter and an eighth of the font's measures.
    const QFontMetrics metrics(dialog.font());
    EXPECT_NEAR(area.height(), 144 * metrics.height() / 8.0, 1.0);
    EXPECT_GT(area.width(), area.height() * 0.8);
    // A Japanese face renders the Japanese texts.
    EXPECT_TRUE(metrics.inFont(QChar(0x9589))) << "no font with 閉 installed";
}

TEST_F(DialogTest, WindowMenuEndsWithSeparatorAndAboutItem) {
    CDecoderDlg dialog(app);
    dialog.OnInitDialog();
    ASSERT_NE(dialog.m_sysMenu, nullptr);
    const QList<QAction *> actions = dialog.m_sysMenu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), QString::fromUtf8("バージョン情報 VantorGUI(&A)..."));

    ModalWatcher watcher(&dialog);
    actions.back()->trigger();
    QTest::mouseClick(dialog.m_buttonAbout, Qt::LeftButton);
    EXPECT_EQ(watcher.about_versions, (std::vector<QString>{"1.2", "1.2"}));
    EXPECT_EQ(watcher.about_captions.front(), QString::fromUtf8("バージョン情報 Vantor"));
    // Other command bits below the low four still name the About item.
    dialog.OnSysCommand(CDecoderDlg::about_box_command | 0x3, 0);
    EXPECT_EQ(watcher.about_versions.size(), 3u);
}

TEST_F(DialogTest, AboutBoxTexts) {
    CAboutBox about;
    EXPECT_EQ(about.m_editVersion->text(), QStringLiteral("1.2"));
    EXPECT_TRUE(about.m_editVersion->isReadOnly());
    QStringList labels;
    for (QLabel *label : about.findChildren<QLabel *>()) {
        labels << label->text();
        if (label->text().isEmpty())
            continue;
        // Every text is shown whole, on a second line if the face is wide.
        const int needed = label->wordWrap() ? label->heightForWidth(label->width())
                                             : label->sizeHint().height();
        EXPECT_LE(needed, label->height()) << label->text().toStdString();
        if (!label->wordWrap()) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
                << label->text().toStdString();
        }
        EXPECT_TRUE(about.rect().contains(label->geometry())) << label->text().toStdString();
    }
    EXPECT_TRUE(labels.contains(QStringLiteral("Vantor Version")));
    // The program's version beside the decoder's.
    EXPECT_TRUE(labels.contains(QStringLiteral("vantor-gui " VANTOR_PROGRAM_VERSION)));
    EXPECT_TRUE(labels.contains(QString::fromUtf8("JPEGの読み込みにはIJGのlibjpegを使用しています")));
    auto *ok = about.findChild<QPushButton *>(QStringLiteral("okButton"));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
}

TEST_F(DialogTest, DroppedPngShowsReaderTextThenFormatTextWithBothBoxesEmpty) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    dialog.OnInitDialog();
    const std::string png = write_png("picture.png");
    ModalWatcher watcher(&dialog);
    drop_files(dialog, {png});
    ASSERT_EQ(watcher.messages.size(), 2u);
    EXPECT_EQ(watcher.messages[0].text,
              QString::fromStdString("file " + png + not_read));
    EXPECT_EQ(watcher.messages[1].text, unsupported);
    for (const SeenMessage &seen : watcher.messages) {
        expect_warning_ok(seen);
        EXPECT_TRUE(seen.name_box.isEmpty());
        EXPECT_TRUE(seen.result_box.isEmpty());
    }
    EXPECT_TRUE(dialog.m_editName->text().isEmpty());
    EXPECT_TRUE(dialog.m_editText->toPlainText().isEmpty());
}

// The classic reader gives no text for this file; the dialog shows the
// reentrant reader's, which names the file and the cause.
TEST_F(DialogTest, DroppedEightBitBmpShowsTheReaderTextThenFormatText) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    dialog.OnInitDialog();
    std::vector<std::uint8_t> bytes = vt::bmp24_bytes(vt::render_noise(8, 8, "blank"));
    bytes[28] = 8;
    const std::string path = dir + "/eight.bmp";
    ASSERT_TRUE(vt::write_bytes(path, bytes));
    ModalWatcher watcher(&dialog);
    drop_files(dialog, {path});
    ASSERT_EQ(watcher.messages.size(), 2u);
    EXPECT_EQ(watcher.messages[0].text,
              QString::fromStdString("file " + path +
                                     ": damaged or truncated BMP image, or a kind Vantor does not read.\n"));
    EXPECT_EQ(watcher.messages[1].text, unsupported);
    expect_warning_ok(watcher.messages[0]);
}

TEST_F(DialogTest, PictureWithoutSymbolShowsNameAndNoSymbolMessage) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    dialog.OnInitDialog();
    const std::string path = dir + "/blank.bmp";
    ASSERT_TRUE(vt::write_bmp24(path, vt::render_noise(100, 80, "blank")));
    ModalWatcher watcher(&dialog);
    drop_files(dialog, {path});
    ASSERT_EQ(watcher.messages.size(), 1u);
    EXPECT_EQ(watcher.messages[0].text, no_symbol);
    EXPECT_EQ(watcher.messages[0].name_box, QStringLiteral("blank.bmp"));
    expect_warning_ok(watcher.messages[0]);
    EXPECT_EQ(dialog.m_editName->text(), QStringLiteral("blank.bmp"));
    EXPECT_TRUE(dialog.m_editText->toPlainText().isEmpty());
}

TEST_F(DialogTest, DroppedSymbolsShowNameAndTextKanjiIncluded) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    dialog.OnInitDialog();
    ModalWatcher watcher(&dialog);
    drop_files(dialog, {write_symbol("hello.bmp", "HELLO VANTOR", vt::Mode::alphanumeric)});
    EXPECT_TRUE(watcher.messages.empty());
    EXPECT_EQ(dialog.m_editName->text(), QStringLiteral("hello.bmp"));
    EXPECT_EQ(dialog.m_editText->toPlainText(), QStringLiteral("HELLO VANTOR"));

    drop_files(dialog, {write_symbol("kanji.bmp", "\x8a\xbf\x8e\x9a", vt::Mode::kanji)});
    EXPECT_TRUE(watcher.messages.empty());
    EXPECT_EQ(dialog.m_editName->text(), QStringLiteral("kanji.bmp"));
    EXPECT_EQ(dialog.m_editText->toPlainText(), QString::fromUtf8("漢字"));
}

// A mirrored symbol gives the classic decode nothing; the thorough search
// that runs after it reads the text, and no message box appears.
TEST_F(DialogTest, MirroredSymbolIsReadByTheThoroughSearch) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    dialog.OnInitDialog();
    ModalWatcher watcher(&dialog);
    const auto symbol = vt::make_symbol("MIRRORED", 2, vt::Level::M, vt::Mode::alphanumeric);
    ASSERT_TRUE(symbol);
    const std::string path = dir + "/mirrored.bmp";
    ASSERT_TRUE(vt::write_bmp24(path, vt::render(*symbol, {.module_px = 4.0, .mirror = true})));
    drop_files(dialog, {path});
    EXPECT_TRUE(watcher.messages.empty());
    EXPECT_EQ(dialog.m_editName->text(), QStringLiteral("mirrored.bmp"));
    EXPECT_EQ(dialog.m_editText->toPlainText(), QStringLiteral("MIRRORED"));
}

// The dialog reads the other kinds of the QR family too: the classic decode
// finds nothing in them, and the reading that follows looks for every kind.
TEST_F(DialogTest, OtherKindsOfTheFamilyAreRead) {
    const auto rmqr = vt::make_rmqr_zint("CABLE 12", 6, 'M');
    struct Case {
        const char *name;
        std::optional<vt::Symbol> symbol;
        const char *text;
    };
    const Case cases[] = {
        {"micro.bmp", vt::make_micro_zint("M4 LABEL", 4, vt::Level::M), "M4 LABEL"},
        {"rmqr.bmp", rmqr ? std::optional<vt::Symbol>(vt::as_symbol(*rmqr)) : std::nullopt, "CABLE 12"},
        {"model1.bmp", vt::make_model1("OLD LABEL", 2, vt::Level::M, vt::Mode::alphanumeric), "OLD LABEL"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CDecoderDlg dialog(app);
        app.m_pMainWnd = &dialog;
        dialog.OnInitDialog();
        ModalWatcher watcher(&dialog);
        ASSERT_TRUE(c.symbol);
        const std::string path = dir + "/" + c.name;
        ASSERT_TRUE(vt::write_bmp24(path, vt::render(*c.symbol, {.module_px = 4.0})));
        drop_files(dialog, {path});
        EXPECT_TRUE(watcher.messages.empty());
        EXPECT_EQ(dialog.m_editName->text(), QString::fromUtf8(c.name));
        EXPECT_EQ(dialog.m_editText->toPlainText(), QString::fromUtf8(c.text));
    }
}

TEST_F(DialogTest, OnlyTheFirstOfSeveralDroppedFilesIsDecoded) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    dialog.OnInitDialog();
    const std::string first = write_png("first.png");
    const std::string second = write_png("second.png");
    const std::string third = dir + "/third.bmp";
    ASSERT_TRUE(vt::write_bmp24(third, vt::render_noise(40, 40, "blank")));
    ModalWatcher watcher(&dialog);
    drop_files(dialog, {first, second, third});
    ASSERT_EQ(watcher.messages.size(), 2u);
    EXPECT_EQ(watcher.messages[0].text,
              QString::fromStdString("file " + first + not_read));
    EXPECT_EQ(watcher.messages[1].text, unsupported);
    EXPECT_TRUE(dialog.m_editName->text().isEmpty());
}

TEST_F(DialogTest, EachDropEmptiesBothBoxesBeforeReading) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    dialog.OnInitDialog();
    dialog.SetNameText("old.bmp");
    dialog.SetResultText("old text");
    ModalWatcher watcher(&dialog);
    drop_files(dialog, {write_png("new.png")});
    ASSERT_FALSE(watcher.messages.empty());
    EXPECT_TRUE(watcher.messages[0].name_box.isEmpty());
    EXPECT_TRUE(watcher.messages[0].result_box.isEmpty());

    // A drop that names no file only empties them.
    dialog.SetNameText("old.bmp");
    dialog.SetResultText("old text");
    drop_urls(dialog, {QUrl(QStringLiteral("https://example.invalid/code.png"))});
    EXPECT_EQ(watcher.messages.size(), 2u);
    EXPECT_TRUE(dialog.m_editName->text().isEmpty());
    EXPECT_TRUE(dialog.m_editText->toPlainText().isEmpty());
}

TEST_F(DialogTest, MarkupInAPathIsShownAsText) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    dialog.OnInitDialog();
    const std::string path = write_png("a<br>b.png");
    ModalWatcher watcher(&dialog);
    drop_files(dialog, {path});
    ASSERT_EQ(watcher.messages.size(), 2u);
    EXPECT_EQ(watcher.messages[0].text,
              QString::fromStdString("file " + path + not_read));
    EXPECT_EQ(watcher.messages[0].format, Qt::PlainText);
}

// Runs the application's start-up with the command line and returns what
// the dialog showed when it first appeared, then closes it with Escape.
struct StartUp {
    int status = -1;
    QString name_when_shown;
    QString text_when_shown;
    std::vector<SeenMessage> messages;
};

StartUp start_with(CDecoderApp &app, const std::string &command_line) {
    StartUp result;
    std::unique_ptr<ModalWatcher> watcher;
    // The watcher needs the dialog, which exists once InitInstance runs.
    QTimer attach;
    attach.setInterval(1);
    QObject::connect(&attach, &QTimer::timeout, [&] {
        if (!watcher && app.m_pMainWnd)
            watcher = std::make_unique<ModalWatcher>(app.m_pMainWnd);
        CDecoderDlg *dialog = app.m_pMainWnd;
        if (dialog && dialog->isVisible() && QApplication::activeModalWidget() == dialog) {
            result.name_when_shown = dialog->m_editName->text();
            result.text_when_shown = dialog->m_editText->toPlainText();
            attach.stop();
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
    attach.start();
    result.status = app.InitInstance(command_line);
    if (watcher)
        result.messages = watcher->messages;
    return result;
}

TEST_F(DialogTest, StartUpPathIsDecodedBeforeTheDialogIsShown) {
    const std::string png = write_png("start up.png");
    for (const std::string &line : {png, "\"" + png + "\""}) {
        const StartUp run = start_with(app, line);
        EXPECT_EQ(run.status, 0) << "Escape ends normally";
        ASSERT_EQ(run.messages.size(), 2u) << line;
        EXPECT_EQ(run.messages[0].text,
                  QString::fromStdString("file " + png + not_read));
        EXPECT_FALSE(run.messages[0].dialog_visible);
        EXPECT_EQ(run.messages[1].text, unsupported);
        EXPECT_FALSE(run.messages[1].dialog_visible);
    }

    const std::string blank = dir + "/blank start.bmp";
    ASSERT_TRUE(vt::write_bmp24(blank, vt::render_noise(60, 60, "blank")));
    const StartUp named = start_with(app, "\"" + blank + "\"");
    EXPECT_EQ(named.name_when_shown, QStringLiteral("blank start.bmp"));
    ASSERT_EQ(named.messages.size(), 1u);
    EXPECT_EQ(named.messages[0].text, no_symbol);

    const std::string symbol = write_symbol("start.bmp", "START", vt::Mode::alphanumeric);
    const StartUp decoded = start_with(app, symbol);
    EXPECT_TRUE(decoded.messages.empty());
    EXPECT_EQ(decoded.name_when_shown, QStringLiteral("start.bmp"));
    EXPECT_EQ(decoded.text_when_shown, QStringLiteral("START"));

    const StartUp empty = start_with(app, "");
    EXPECT_TRUE(empty.messages.empty());
    EXPECT_TRUE(empty.name_when_shown.isEmpty());
    EXPECT_TRUE(empty.text_when_shown.isEmpty());
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

TEST_F(DialogTest, QuotedPathWithTrailingTextFailsToOpen) {
    const std::string png = write_png("x.png");
    const StartUp run = start_with(app, "\"" + png + "\" more");
    ASSERT_EQ(run.messages.size(), 2u);
    EXPECT_EQ(run.messages[0].text, QString::fromStdString("file " + png + "\" mor open error.\n"));
}

TEST_F(DialogTest, EscapeAndCloseBoxEndTheDialogNormally) {
    for (bool escape : {true, false}) {
        CDecoderDlg dialog(app);
        app.m_pMainWnd = &dialog;
        QTimer::singleShot(0, &dialog, [&] {
            if (escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.close();
        });
        EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
    }
}

// No files: the death tests' children end without tearing down.
class DialogExitTest : public DialogTest {
protected:
    void SetUp() override {}
};

// Runs the dialog, lets action act on it, and ends with status 0 if the
// dialog is still there a while later.
void run_then(CDecoderApp &app, const std::function<void(CDecoderDlg &)> &action) {
    CDecoderDlg dialog(app);
    app.m_pMainWnd = &dialog;
    QTimer::singleShot(0, &dialog, [&] { action(dialog); });
    QTimer::singleShot(3000, &dialog, [&] { dialog.reject(); });
    dialog.DoModal();
    std::exit(0);
}

TEST_F(DialogExitTest, CloseButtonEndsTheProcessWithStatusOne) {
    EXPECT_EXIT(run_then(app, [](CDecoderDlg &d) { d.m_buttonClose->click(); }),
                ::testing::ExitedWithCode(1), "");
}

TEST_F(DialogExitTest, EnterEndsTheProcessWithStatusOneAlsoFromTheBoxes) {
    EXPECT_EXIT(run_then(app, [](CDecoderDlg &d) { QTest::keyClick(&d, Qt::Key_Return); }),
                ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(run_then(app,
                         [](CDecoderDlg &d) {
                             d.m_editText->setFocus();
                             QTest::keyClick(d.m_editText, Qt::Key_Return);
                         }),
                ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(run_then(app,
                         [](CDecoderDlg &d) {
                             d.m_editName->setFocus();
                             QTest::keyClick(d.m_editName, Qt::Key_Enter);
                         }),
                ::testing::ExitedWithCode(1), "");
}

} // namespace

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    executable_name = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    return RUN_ALL_TESTS();
}
