#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include "record/level_meter_scale.h"
#include "ui/ldb_edit.h"

namespace sonaro {

class LdbEditTest : public QObject {
    Q_OBJECT

  private slots:
    void parsesTypedText() {
        QCOMPARE(ParseDbEditText("-40"), -40);
        QCOMPARE(ParseDbEditText("abc"), 0);
        QCOMPARE(ParseDbEditText(""), 0);
        QCOMPARE(ParseDbEditText("--5"), -127);
        QCOMPARE(ParseDbEditText("-1x2dB"), -12);
        QCOMPARE(ParseDbEditText("99999999999999"), 127);
        QCOMPARE(DbEditText(-127), std::string("--dB"));
        QCOMPARE(DbEditText(-200), std::string("--dB"));
        QCOMPARE(DbEditText(-6), std::string("-6dB"));
        QCOMPARE(DbEditText(0), std::string("0dB"));
    }

    void typingSetsTheClampedValueAndTellsAtOnce() {
        LDBEdit edit;
        edit.resize(220, 24);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QSignalSpy changed(&edit, &LDBEdit::changed);
        QLineEdit* box = edit.numberBox();
        QVERIFY(box != nullptr);
        const auto typeText = [&](const QString& text) {
            box->selectAll();
            QTest::keyClick(box, Qt::Key_Delete);
            QTest::keyClicks(box, text);
        };
        typeText("-40");
        QCOMPARE(edit.value(), -36);
        QVERIFY(!changed.isEmpty());
        QCOMPARE(changed.last().first().toInt(), -36);
        typeText("ab");
        QCOMPARE(edit.value(), 0);
        typeText("--5");
        QCOMPARE(edit.value(), -36);  // -127, held to the minimum
        typeText("30");
        QCOMPARE(edit.value(), 12);
    }

    void showsDashesAtTheBottomOfAWideRange() {
        LDBEdit edit;
        edit.setRange(-127, 12);
        edit.setValue(-127);
        QCOMPARE(edit.numberBox()->text(), QString("--dB"));
        edit.setValue(-200);
        QCOMPARE(edit.value(), -127);
        edit.setValue(-12);
        QCOMPARE(edit.numberBox()->text(), QString("-12dB"));
    }

    void mouseMovesTheThumbAndTellsAfterwards() {
        LDBEdit edit;
        edit.resize(260, 24);
        edit.setValue(0);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QSignalSpy changed(&edit, &LDBEdit::changed);
        QTest::mousePress(&edit, Qt::LeftButton, {}, QPoint(1, 12));
        QCOMPARE(edit.value(), -36);
        QCOMPARE(changed.count(), 0);  // posted, not sent
        QVERIFY(changed.wait(1000));
        QCOMPARE(changed.last().first().toInt(), -36);
        const QRect slider = edit.sliderRect();
        QMouseEvent move(QEvent::MouseMove, QPointF(slider.right(), 12),
                         edit.mapToGlobal(QPointF(slider.right(), 12)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(&edit, &move);
        QCOMPARE(edit.value(), 12);
        QTest::mouseRelease(&edit, Qt::LeftButton, {}, QPoint(slider.right(), 12));
        QCOMPARE(edit.numberBox()->text(), QString("12dB"));
        QVERIFY(edit.thumbRect().right() <= slider.right());
    }

    void sliderOnlyStepsWithTheKeypadQuietly() {
        LDBEdit edit(nullptr, true);
        QVERIFY(edit.numberBox() == nullptr);
        edit.resize(200, 20);
        edit.setValue(-10);
        QSignalSpy changed(&edit, &LDBEdit::changed);
        QTest::keyClick(&edit, Qt::Key_Plus, Qt::KeypadModifier);
        QTest::keyClick(&edit, Qt::Key_Plus, Qt::KeypadModifier);
        QTest::keyClick(&edit, Qt::Key_Minus, Qt::KeypadModifier);
        QCOMPARE(edit.value(), -9);
        QTest::qWait(10);
        QCOMPARE(changed.count(), 0);
    }

    void focusGoesToTheBoxAndDisablingFollows() {
        LDBEdit edit;
        edit.resize(220, 24);
        edit.setValue(-18);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.activateWindow();
        edit.setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(edit.numberBox()->hasFocus());
        QTRY_COMPARE(edit.numberBox()->selectedText(), QString("-18dB"));
        edit.setEnabled(false);
        QVERIFY(!edit.numberBox()->isEnabled());
    }
};

}  // namespace sonaro

QTEST_MAIN(sonaro::LdbEditTest)
#include "ldb_edit_test.moc"
