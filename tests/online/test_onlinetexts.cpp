// Texts of the server in the online windows: rich-text views load no picture whatever markup
// reaches them, and questions show the server's names as plain text.
#include "CommentsWindow.h"
#include "ModalDriver.h"
#include "RepositoryTab.h"
#include "ShownText.h"
#include "TestMain.h"
#include "UserPatches.h"

#include <QAbstractButton>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <memory>

namespace {

// The tab's parts that the windows build it from, within reach of the test.
class Tab : public UserPatches
{
public:
    Tab() : UserPatches(nullptr, nullptr, nullptr) {}
    using RepositoryTab::createDescriptionPanel;
    using UserTab::confirmReplace;
};

} // namespace

class TestOnlineTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void viewsLoadNoPicture();
    void replaceQuestionIsPlain_data();
    void replaceQuestionIsPlain();

private:
    QTemporaryDir pointedAt;
    QString tag;
};

void TestOnlineTexts::initTestCase()
{
    QImage square(200, 200, QImage::Format_RGB32);
    square.fill(Qt::red);
    const QString path = pointedAt.filePath(QStringLiteral("square.png"));
    QVERIFY(square.save(path));
    tag = "<p><img src=\"" + path + "\"></p>";
}

void TestOnlineTexts::viewsLoadNoPicture()
{
    std::unique_ptr<QTextBrowser> panel(Tab::createDescriptionPanel(tag, nullptr));
    QCOMPARE(testsupport::loadedImages(panel->document()), 0);
    panel->setHtml(tag + tag);
    QCOMPARE(testsupport::loadedImages(panel->document()), 0);

    CommentsWindow comments(nullptr, nullptr);
    comments.commentsView()->setHtml(tag);
    QCOMPARE(testsupport::loadedImages(comments.commentsView()->document()), 0);
}

void TestOnlineTexts::replaceQuestionIsPlain_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "Drone"
                           << "Drone";
    QTest::newRow("image tag") << "<img src=\"/dev/zero\">"
                               << "<img src=\"/dev/zero\">";
    QTest::newRow("bold, turned") << QString("<b>Drone</b>\u202Eevil")
                                  << QString("<b>Drone</b>\uFFFDevil");
    QTest::newRow("long") << QString(5000, 'd')
                          << QString(60, 'd') + QChar(0x2026) + " (5000 characters)";
}

void TestOnlineTexts::replaceQuestionIsPlain()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    Tab tab;
    ModalDriver driver;
    bool plain = false;
    QString text;
    driver.answer([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        plain = testsupport::showsPlainText(box);
        text = box->text();
        box->button(QMessageBox::Cancel)->click();
    });
    QVERIFY(!tab.confirmReplace(QStringLiteral("Patch"), name));
    QVERIFY(plain);
    QCOMPARE(text, "Patch with name \"" + shown + "\" exists.");
}

KL_TEST_MAIN(TestOnlineTexts)
#include "test_onlinetexts.moc"
