// The status area and what keeps the operator in control: every outcome
// readable in full and kept in the MESSAGES list, progress of long
// transfers, questions whose Yes risks something answered No by Enter and
// Escape, number boxes that take what is typed into them, the free views
// above the main window and out of the way, and the wide-tolerance question
// of the mean-value teach.
#include "teach/TeachTestUtil.h"

#include "calib/Calib.h"
#include "core/Edits.h"
#include "core/LinkStatus.h"
#include "core/Outcomes.h"
#include "live/Live.h"
#include "sim/Simulator.h"
#include "support/AppFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTimer>

using namespace ttest;

int CBF_ButtonSend(int, int, int, void *, int, int);
int CBF_ButtonGet(int, int, int, void *, int, int);
int CBF_ButtonMessages(int, int, int, void *, int, int);
int CBF_ButtonSendCF(int, int, int, void *, int, int);
int CBF_ButtonTpTeachToTable(int, int, int, void *, int, int);

using fixture::Reconnect;
using fixture::Text;
using fixture::Type;

namespace {
enum Question { kDiscardChanges, kFactorOutside, kWideTolerance };
} // namespace

class TstStatus : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        QVERIFY(fixture::StartProgram());
        DisplayPanel(mainpanel);
        DisplayPanel(datapanel);
        QVERIFY(fixture::StartUp());
    }
    void cleanupTestCase() { fixture::EndProgram(); }
    void init() {
        fixture::Sim().clearFaults();
        target = RAM;
    }
    void cleanup() { fixture::CheckNoUnexpectedPopups(); }

    // A SEND cut off half-way: its whole message, with its time, stands under
    // the link's state at the designed 1280 x 800, wrapped and never cut, and
    // the MESSAGES list keeps it to read, select and copy.
    void cutSendMessageWholeAndKept() {
        PanelWidget(mainpanel)->resize(1280, 800);
        fixture::Sim().armFault({tsim::Fault::NoAnswer, 15, 0});
        CBF_ButtonSend(mainpanel, MAINP_ButtonSend, EVENT_COMMIT, nullptr, 0, 0);
        fixture::Pump(20);

        const QString whole = Text(datapanel, DATAP_DispLink);
        const QStringList lines = whole.split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains("time-out"), qPrintable(lines[0]));
        const QRegularExpression stamped(
            "^\\d\\d:\\d\\d:\\d\\d  SEND stopped at row 13 \\(telegram 15 of 32\\): .*rows 0"
            "\u2013"
            "12.*send again\\. .*check the sensor's power and its server\\.$");
        QVERIFY2(stamped.match(lines[1]).hasMatch(), qPrintable(lines[1]));

        auto *label = qobject_cast<QLabel *>(CtrlWidget(datapanel, DATAP_DispLink));
        QVERIFY(label);
        QCOMPARE(label->text(), whole); // shown as it stands: no "…"
        QVERIFY(label->wordWrap());
        const int needed = label->heightForWidth(label->width());
        QVERIFY2(needed <= label->height(),
                 qPrintable(QString("%1 px needed, %2 px high").arg(needed).arg(label->height())));
        // Nothing else of the status area hides it.
        const QRect shown(label->mapTo(PanelWidget(datapanel), QPoint(0, 0)), label->size());
        for (int c : {DATAP_ButtonMessages, DATAP_BarProgress, DATAP_DispProgress}) {
            QWidget *w = CtrlWidget(datapanel, c);
            QVERIFY(!shown.intersects(
                QRect(w->mapTo(PanelWidget(datapanel), QPoint(0, 0)), w->size())));
        }

        QTest::mouseClick(CtrlWidget(datapanel, DATAP_ButtonMessages), Qt::LeftButton);
        fixture::Pump(20);
        const QString list = MessageListText();
        QVERIFY2(list.endsWith(lines[1]), qPrintable(list.right(400)));
        auto *text =
            QApplication::topLevelWidgets().isEmpty()
                ? nullptr
                : PanelWidget(mainpanel)->window()->findChild<QPlainTextEdit *>("MessageListText");
        QVERIFY(text);
        QVERIFY(text->isReadOnly());
        QVERIFY(text->textInteractionFlags() & Qt::TextSelectableByMouse);
        auto *copy = text->window()->findChild<QPushButton *>("MessageListCopy");
        QVERIFY(copy);
        copy->click();
        QVERIFY(QApplication::clipboard()->text().contains(lines[1]));
        // A later message joins the open list.
        SetLinkNote("a later outcome");
        QVERIFY(MessageListText().endsWith("  a later outcome"));
        CloseMessageList();
        Reconnect();
    }

    // Boxes are kept in the list too; help texts are not outcomes.
    void boxesKeptHelpNot() {
        MessagePopup("INFO!", "File has been saved!");
        ShowHelp("some help text");
        popupscript::Clear();
        const QStringList kept = SessionMessages();
        QVERIFY(kept.last().endsWith("  INFO! File has been saved!"));
        for (const QString &m : kept)
            QVERIFY(!m.contains("some help text"));
    }

    // Successes say what was written or read.
    void successesSaySo() {
        SetCtrlVal(calibpanel, CALIBP_EditCFR, 1000);
        SetCtrlVal(calibpanel, CALIBP_EditCFG, 1010);
        SetCtrlVal(calibpanel, CALIBP_EditCFB, 1050);
        CBF_ButtonSendCF(calibpanel, CALIBP_ButtonSendCF, EVENT_COMMIT, nullptr, 0, 0);
        QVERIFY2(Text(datapanel, DATAP_DispLink)
                     .endsWith("  SEND CF: 1000/1010/1050 and the third-root table written"),
                 qPrintable(Text(datapanel, DATAP_DispLink)));
        QCOMPARE(fixture::Sim().state().cf[2], uint16_t(1050));
        QVERIFY(SessionMessages().join('\n').contains("SEND CF: 1000/1010/1050 written"));
    }

    // A slowed SEND shows its progress advancing telegram by telegram, with
    // the time left, and the bar goes when the transfer ends.
    void progressAdvancesDuringSlowSend() {
        fixture::Sim().armFault({tsim::Fault::Delay, 0, 40});
        QStringList seen;
        QList<int> values;
        QTimer sample;
        auto *bar = qobject_cast<QProgressBar *>(CtrlWidget(datapanel, DATAP_BarProgress));
        QVERIFY(bar);
        connect(&sample, &QTimer::timeout, [&] {
            if (!bar->isVisible()) return;
            seen << Text(datapanel, DATAP_DispProgress);
            values << bar->value();
        });
        sample.start(25);
        CBF_ButtonSend(mainpanel, MAINP_ButtonSend, EVENT_COMMIT, nullptr, 0, 0);
        sample.stop();
        QCOMPARE(comecho, uint16_t(1));
        QVERIFY2(seen.size() >= 10, qPrintable(seen.join(" | ")));
        QVERIFY(seen.first().startsWith("SEND: telegram "));
        QVERIFY2(seen.last().startsWith("SEND: telegram 3"), qPrintable(seen.last()));
        QVERIFY(seen.last().contains(" of 32"));
        QVERIFY(std::any_of(seen.begin(), seen.end(), [](const QString &s) {
            return s.contains(QRegularExpression("\u2013 \\d+ s left$"));
        }));
        QVERIFY(std::is_sorted(values.begin(), values.end()));
        QVERIFY(values.last() > values.first());
        QCOMPARE(bar->maximum(), 32);
        QVERIFY(!bar->isVisible());
        QVERIFY(!CtrlWidget(datapanel, DATAP_DispProgress)->isVisible());
        QVERIFY(ProgressText().isEmpty());
    }

    // Enter and Escape on a question whose Yes risks something are No:
    // everything stays as it was.
    void riskyQuestionsKeepEverything_data() {
        QTest::addColumn<int>("question");
        QTest::addColumn<int>("key");
        for (const auto &[name, q] : {std::pair{"discard changes", kDiscardChanges},
                                      std::pair{"factor outside 750..1300", kFactorOutside},
                                      std::pair{"wide tolerance", kWideTolerance}}) {
            QTest::newRow(qPrintable(QString("%1, Enter").arg(name)))
                << int(q) << int(Qt::Key_Return);
            QTest::newRow(qPrintable(QString("%1, Escape").arg(name)))
                << int(q) << int(Qt::Key_Escape);
        }
    }
    void riskyQuestionsKeepEverything() {
        QFETCH(int, question);
        QFETCH(int, key);
        popupscript::ExpectKey("ATTENTION!", key);
        switch (question) {
        case kDiscardChanges: {
            Type(CtrlWidget(parapanel, PARAP_EditAverage), "17");
            QVERIFY(UnsentChanges());
            CBF_ButtonGet(mainpanel, MAINP_ButtonGet, EVENT_COMMIT, nullptr, 0, 0);
            QCOMPARE(Text(parapanel, PARAP_EditAverage), QString("17"));
            QVERIFY(UnsentChanges());
            // Put the panels back as the sensor has them.
            popupscript::Expect("ATTENTION!", 1);
            CBF_ButtonGet(mainpanel, MAINP_ButtonGet, EVENT_COMMIT, nullptr, 0, 0);
            break;
        }
        case kFactorOutside: {
            const uint16_t before = fixture::Sim().state().cf[0];
            fixture::Sim().clearRequests();
            SetCtrlVal(calibpanel, CALIBP_EditCFR, 5000);
            CBF_ButtonSendCF(calibpanel, CALIBP_ButtonSendCF, EVENT_COMMIT, nullptr, 0, 0);
            QCOMPARE(fixture::Sim().state().cf[0], before);
            QVERIFY(fixture::Sim().requests().isEmpty());
            QVERIFY(
                Text(datapanel, DATAP_DispLink).endsWith("SEND CF cancelled: nothing was sent"));
            SetCtrlVal(calibpanel, CALIBP_EditCFR, before);
            break;
        }
        case kWideTolerance: {
            const QList<int> before = TableRow(ttpanel, TTP_GridCtt, 4);
            SetCtrlVal(teachpanel, TEACHP_EditTpRowNo, 3);
            SetCtrlVal(teachpanel, TEACHP_EditTpTeachCtoWith, 1); // with the deviation
            SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaXY, 2117);
            CBF_ButtonTpTeachToTable(teachpanel, TEACHP_ButtonTpTeachToTable, EVENT_COMMIT, nullptr,
                                     0, 0);
            QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 4), before);
            const QString asked = popupscript::Log().last().text;
            QVERIFY2(asked.contains("CTO 2117") && asked.contains("512"), qPrintable(asked));
            break;
        }
        }
        QCOMPARE(popupscript::Pending(), 0);
        popupscript::Clear();
    }

    // Yes, clicked on purpose, teaches the wide tolerance; a narrow one is
    // taught without a question.
    void wideToleranceTaughtOnYes() {
        SetCtrlVal(teachpanel, TEACHP_EditTpRowNo, 5);
        SetCtrlVal(teachpanel, TEACHP_EditTpTeachCtoWith, 1);
        SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaXY, 2117);
        popupscript::Expect("ATTENTION!", 1);
        CBF_ButtonTpTeachToTable(teachpanel, TEACHP_ButtonTpTeachToTable, EVENT_COMMIT, nullptr, 0,
                                 0);
        QCOMPARE(popupscript::Pending(), 0);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 6)[2], 2117);
        popupscript::Clear();
        SetCtrlVal(teachpanel, TEACHP_DispTpMaxDeltaXY, 512);
        CBF_ButtonTpTeachToTable(teachpanel, TEACHP_ButtonTpTeachToTable, EVENT_COMMIT, nullptr, 0,
                                 0);
        QCOMPARE(TableRow(ttpanel, TTP_GridCtt, 6)[2], 512);
    }

    // Every number box of every panel takes the focus on a click, and what
    // is typed next lands in it and nowhere else.
    void everyFieldTakesTypedInput() {
        int checked = 0;
        for (int *panel : {&parapanel, &calibpanel, &recpanel, &tapanel, &teachpanel, &ttpanel,
                           &grouppanel, &interfacepanel}) {
            DisplayPanel(*panel);
            QWidget *root = PanelWidget(*panel);
            root->window()->activateWindow();
            fixture::Pump(10);
            QList<QWidget *> fields;
            for (QSpinBox *s : root->findChildren<QSpinBox *>())
                if (s->parentWidget() && !qobject_cast<QAbstractItemView *>(s->parentWidget()))
                    fields << s;
            for (QLineEdit *e : root->findChildren<QLineEdit *>())
                if (e->property("wholeMin").isValid()) fields << e;
            for (QWidget *field : fields) {
                if (!field->isVisibleTo(root)) continue;
                const bool wasEnabled = field->isEnabled();
                field->setEnabled(true);
                auto *spin = qobject_cast<QSpinBox *>(field);
                const QString before =
                    spin ? QString::number(spin->value()) : static_cast<QLineEdit *>(field)->text();
                int lo = spin ? spin->minimum() : field->property("wholeMin").toInt();
                int hi = spin ? spin->maximum() : field->property("wholeMax").toInt();
                const int value = before.toInt() == lo + 1 ? lo + 2 : lo + 1;
                QVERIFY(value <= hi);
                // Another field had the focus: the click must take it.
                QWidget *other = fields.first() == field ? fields.last() : fields.first();
                other->setFocus();
                QWidget *clickAt = spin ? spin->findChild<QLineEdit *>() : field;
                QTest::mouseClick(clickAt, Qt::LeftButton, {}, clickAt->rect().center());
                QWidget *focus = field->window()->focusWidget();
                QVERIFY2(focus == field || field->isAncestorOf(focus),
                         qPrintable(field->objectName() + " clicked, focus in " +
                                    (focus ? focus->objectName() : "nothing")));
                const QString otherBefore =
                    qobject_cast<QSpinBox *>(other)
                        ? QString::number(qobject_cast<QSpinBox *>(other)->value())
                        : static_cast<QLineEdit *>(other)->text();
                Type(focus, QString::number(value));
                fixture::Pump(5);
                const QString after =
                    spin ? QString::number(spin->value()) : static_cast<QLineEdit *>(field)->text();
                QCOMPARE(after, QString::number(value));
                const QString otherAfter =
                    qobject_cast<QSpinBox *>(other)
                        ? QString::number(qobject_cast<QSpinBox *>(other)->value())
                        : static_cast<QLineEdit *>(other)->text();
                if (other != field) QCOMPARE(otherAfter, otherBefore);
                Type(focus, before);
                field->setEnabled(wasEnabled);
                ++checked;
            }
        }
        QVERIFY(checked >= 20);
        // POWER's box sets the slider the parameter set is read from.
        DisplayPanel(parapanel);
        QWidget *power = CtrlWidget(parapanel, PARAP_EditPower);
        QWidget *powerText = power->findChild<QLineEdit *>();
        QTest::mouseClick(powerText, Qt::LeftButton, {}, powerText->rect().center());
        Type(powerText, "77");
        int slider = 0;
        GetCtrlVal(parapanel, PARAP_SlidePower, &slider);
        QCOMPARE(slider, 77);
        QVERIFY(UnsentChanges());
        SetCtrlVal(parapanel, PARAP_SlidePower, 500);
        QCOMPARE(qobject_cast<QSpinBox *>(power)->value(), 500);
        popupscript::Expect("ATTENTION!", 1);
        CBF_ButtonGet(mainpanel, MAINP_ButtonGet, EVENT_COMMIT, nullptr, 0, 0);
        popupscript::Clear();
    }

    // The three-sides view and the mean-value panel are tool windows of the
    // main window: above it, and moved along with it.
    void freeViewsStayWithTheMainWindow() {
        QWidget *main = PanelWidget(mainpanel)->window();
        for (int panel : {p3sidesview, teachpanel}) {
            QWidget *w = PanelWidget(panel);
            QVERIFY(w->isWindow());
            QCOMPARE(w->windowType(), Qt::Tool);
            QCOMPARE(w->parentWidget(), main);
        }
        QWidget *view = PanelWidget(p3sidesview);
        view->show();
        const QPoint before = view->pos();
        main->move(main->pos() + QPoint(30, 20));
        fixture::Pump(20);
        QCOMPARE(view->pos(), before + QPoint(30, 20));
        main->move(main->pos() - QPoint(30, 20));
        fixture::Pump(20);
        view->hide();
    }

    // A window made larger gives its room to the graph and the status area:
    // the graph grows, the status line widens, and the status area and the
    // transfer buttons stay at the window's bottom. Back at its size, every
    // control is where it was designed.
    void extraSpaceGoesToGraphAndMessages() {
        QWidget *main = PanelWidget(mainpanel);
        DisplayPanel(mainpanel);
        main->resize(1280, 800);
        fixture::Pump(20);
        auto at = [](int panel, int control) {
            QWidget *w = CtrlWidget(panel, control);
            return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
        };
        const QRect graph = at(datapanel, DATAP_GraphRGB), status = at(datapanel, DATAP_DispLink),
                    messages = at(datapanel, DATAP_ButtonMessages),
                    send = at(mainpanel, MAINP_ButtonSend), vno = at(datapanel, DATAP_DispCOL);
        main->resize(1920, 1050);
        fixture::Pump(20);
        QCOMPARE(at(datapanel, DATAP_GraphRGB).size(), graph.size() + QSize(640, 250));
        QCOMPARE(at(datapanel, DATAP_DispLink), status.translated(0, 250).adjusted(0, 0, 640, 0));
        QCOMPARE(at(datapanel, DATAP_ButtonMessages), messages.translated(640, 250));
        QCOMPARE(at(mainpanel, MAINP_ButtonSend), send.translated(0, 250));
        QCOMPARE(at(datapanel, DATAP_DispCOL), vno);
        // The whole message still stands whole in the wider line.
        auto *label = qobject_cast<QLabel *>(CtrlWidget(datapanel, DATAP_DispLink));
        QVERIFY(label->heightForWidth(label->width()) <= label->height());
        main->resize(1280, 800);
        fixture::Pump(20);
        QCOMPARE(at(datapanel, DATAP_GraphRGB), graph);
        QCOMPARE(at(datapanel, DATAP_DispLink), status);
        QCOMPARE(at(mainpanel, MAINP_ButtonSend), send);
    }

    // Where each free view opens on the two screens an operator has: the
    // graph under SOURCE, the teach table, V-No, the transfer buttons and the
    // status area with its messages stay uncovered where the screen has room.
    void freeViewsOpenOutOfTheWay_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<bool>("coversNothing");
        QTest::newRow("three sides, 1280 x 800") << QSize(1280, 800) << QSize(328, 328) << true;
        QTest::newRow("three sides 3 rows, 1280 x 800")
            << QSize(1280, 800) << QSize(328, 492) << true;
        QTest::newRow("three sides, 1920 x 1080") << QSize(1920, 1080) << QSize(500, 500) << true;
        QTest::newRow("mean value, 1280 x 800") << QSize(1280, 800) << QSize(820, 510) << false;
        QTest::newRow("mean value, 1920 x 1080") << QSize(1920, 1080) << QSize(820, 510) << false;
    }
    void freeViewsOpenOutOfTheWay() {
        QFETCH(QSize, screen);
        QFETCH(QSize, view);
        QFETCH(bool, coversNothing);
        ShowChildPanel(3); // the teach table
        QWidget *main = PanelWidget(mainpanel)->window();
        auto at = [main](int panel, int control) {
            QWidget *w = control ? CtrlWidget(panel, control) : PanelWidget(panel);
            return QRect(w->mapTo(main, QPoint(0, 0)), w->size());
        };
        const QRect graph = at(datapanel, DATAP_GraphRGB), vno = at(datapanel, DATAP_DispCOL),
                    status = at(datapanel, DATAP_DispLink),
                    messages = at(datapanel, DATAP_ButtonMessages), table = at(ttpanel, 0),
                    send = at(mainpanel, MAINP_ButtonSend), stop = at(mainpanel, MAINP_ButtonStop),
                    memory = at(mainpanel, MAINP_SelectRAM);
        const QList<QRect> keep = {graph, vno, status, messages, table, send, stop, memory};
        const QList<int> weights = {1, 1000, 1000, 1000, 1000, 1000, 1000, 1000};
        long long covered = -1;
        const QPoint spot = LeastCoveringSpot(QRect(QPoint(0, 0), screen), view, keep, weights,
                                              QRect(0, 0, 1280, 800).center(), &covered);
        const QRect placed(spot, view);
        QVERIFY(QRect(QPoint(0, 0), screen).contains(placed));
        QCOMPARE(covered == 0, coversNothing);
        // Never the small things the operator reads or presses.
        for (const QRect &r : {vno, table, send, stop, memory, messages, status})
            QVERIFY2(!placed.intersects(r),
                     qPrintable(QString("%1,%2").arg(spot.x()).arg(spot.y())));
        // Of the graph, three quarters at the most.
        const QRect onGraph = placed.intersected(graph);
        QVERIFY(1LL * onGraph.width() * onGraph.height() <=
                1LL * graph.width() * graph.height() * 3 / 4);
    }
};

QTEST_MAIN(TstStatus)
#include "tst_status.moc"
