#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include "record/level_meter_scale.h"
#include "record/peak_meter_scale.h"
#include "ui/ldb_display.h"
#include "ui/ldb_edit.h"
#include "ui/player_level_meter.h"
#include "ui/voice_level_meter.h"
#include "widget_driving.h"

namespace sonaro {
namespace {

QColor pixel(QWidget& widget, int x, int y) {
    return widget.grab().toImage().pixelColor(x, y);
}

QColor qColour(const MeterRgb& rgb) {
    return {rgb.red, rgb.green, rgb.blue};
}

class RecordingListener : public VoiceLevelMeterListener {
  public:
    std::vector<int> moves;
    std::vector<bool> toggles;
    void OnMarkerMoved(std::int8_t level) override { moves.push_back(level); }
    void OnMarkerToggled(bool shown) override { toggles.push_back(shown); }
};

}  // namespace

class LevelMetersTest : public QObject {
    Q_OBJECT

  private slots:
    void voiceScaleFollowsTheFormula() {
        const VoiceMeterScale scale(200, 6);
        QCOMPARE(scale.LevelX(-36), 6);
        QCOMPARE(scale.LevelX(12), 194);
        QCOMPARE(scale.LevelX(0), 36 * 188 / 48 + 6);
        QCOMPARE(scale.LevelX(-18), 18 * 188 / 48 + 6);
        QCOMPARE(scale.LevelX(-127), 6);  // silence sits at the margin
        QCOMPARE(scale.SegmentCount(-127), 0);
        QCOMPARE(scale.SegmentCount(-36), 0);
        // +12 lights segments every 3 pixels from margin + 1 up to the right end.
        const int full = scale.SegmentCount(12);
        QVERIFY(scale.SegmentX(full - 1) < 194);
        QVERIFY(scale.SegmentX(full - 1) + VoiceMeterScale::kSegmentStep >= 194);
        QCOMPARE(scale.SegmentX(0), 7);
        QCOMPARE(scale.SegmentColour(scale.LevelX(0) - 1), kMeterGreen);
        QCOMPARE(scale.SegmentColour(scale.LevelX(0)), kMeterRed);

        // Only the stretch between the old and the new levels is repainted.
        const PixelSpan span =
            scale.ChangedSpan(test::LevelsOf({-20, -30}), test::LevelsOf({-10, -24}));
        QCOMPARE(span.left, scale.LevelX(-30) - 1);
        QCOMPARE(span.right, scale.LevelX(-10) + 1);

        // Dragging keeps the marker under the pointer.
        QCOMPARE(scale.DraggedLevel(-18, 100, 100), -18);
        // 188 pixels hold 48 dB: 47 pixels to the right are 12 dB.
        QCOMPARE(scale.DraggedLevel(-18, 100, 147), -6);
        QCOMPARE(scale.DraggedLevel(-18, 100, 5000), 12);
        QCOMPARE(scale.DraggedLevel(-18, 100, -5000), -36);
    }

    void voiceMeterPaintsFullAndEmptyBands() {
        VoiceLevelMeter meter;
        meter.resize(300, 30);
        const VoiceMeterScale scale = meter.scale();
        const LevelSet loud = test::LevelsOf({12, 12});
        meter.SetLevels(&loud);
        const int y = 15;
        QCOMPARE(pixel(meter, scale.SegmentX(0), y), qColour(kMeterGreen));
        const int lastRed = scale.SegmentX(scale.SegmentCount(12) - 1);
        QVERIFY(lastRed >= scale.LevelX(0));
        QCOMPARE(pixel(meter, lastRed, y), qColour(kMeterRed));
        const LevelSet silence = test::LevelsOf({-127, -127});
        meter.SetLevels(&silence);
        for (int x = scale.margin() + 1; x < scale.LevelX(12); x += 7) {
            QCOMPARE(pixel(meter, x, y), qColour(kMeterBackground));
        }
    }

    void rightClickShowsTheMarkerAndItsDragStopsAtTheTopOfTheRange() {
        VoiceLevelMeter meter;
        RecordingListener listener;
        meter.SetListener(&listener);
        meter.resize(400, 40);
        meter.SetMarkerLabel("Voice Activate Level", "Enable Voice Activate",
                             "Disable Voice Activate");
        meter.SetMarkerLevel(-18);
        meter.show();
        QVERIFY(QTest::qWaitForWindowExposed(&meter));
        QCOMPARE(meter.toggleText(), QString("Enable Voice Activate"));
        test::ChooseFromNextMenu();
        test::RightClick(&meter, QPoint(20, 10));
        QVERIFY(meter.markerShown());
        QCOMPARE(listener.toggles, std::vector<bool>{true});
        QCOMPARE(meter.toggleText(), QString("Disable Voice Activate"));

        const QPoint grip = meter.tabRect().center();
        QTest::mousePress(&meter, Qt::LeftButton, {}, grip);
        QMouseEvent move(QEvent::MouseMove, QPointF(grip.x() + 2000, grip.y()),
                         meter.mapToGlobal(QPointF(grip.x() + 2000, grip.y())), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(&meter, &move);
        QTest::mouseRelease(&meter, Qt::LeftButton, {}, grip);
        QCOMPARE(static_cast<int>(meter.markerLevel()), 12);
        QCOMPARE(listener.moves, std::vector<int>{12});
        QCOMPARE(MarkerTabText("Voice Activate Level", meter.markerLevel()),
                 std::string("Voice Activate Level (12db)"));
        QVERIFY2(meter.rect().contains(meter.tabRect()), "the tab's text stays inside the meter");
        QVERIFY(meter.tabRect().left() <= meter.scale().LevelX(12));
        // A disabled marker does not move.
        meter.SetMarkerEnabled(false);
        QTest::mousePress(&meter, Qt::LeftButton, {}, meter.tabRect().center());
        QCOMPARE(static_cast<int>(meter.markerLevel()), 12);
    }

    void playerScaleTicksPositionsAndColours() {
        QCOMPARE(PeakMeterScale::TickStep(300), 3);
        QCOMPARE(PeakMeterScale::TickStep(271), 3);
        QCOMPARE(PeakMeterScale::TickStep(270), 6);
        QCOMPARE(PeakMeterScale::TickStep(200), 6);
        QCOMPARE(PeakMeterScale::TickStep(140), 12);
        QCOMPARE(PeakMeterScale::TickStep(100), 12);
        const PeakMeterScale scale(300);
        QCOMPARE(scale.PositionOf(-48), 0);
        QCOMPARE(scale.PositionOf(-45), 18);  // 3 / 48 * 300 = 18.75, floored
        QCOMPARE(scale.PositionOf(-24), 150);
        QCOMPARE(scale.PositionOf(0), 300);
        // Capture levels are 12 dB above the meter's: +12 fills it, 0 sits at -12.
        QCOMPARE(scale.LevelX(12), 300);
        QCOMPARE(scale.LevelX(0), scale.PositionOf(-12));
        QCOMPARE(scale.LevelX(-127), 0);

        // The colour strip runs green, yellow, orange.
        QCOMPARE(scale.ColourAt(0), (MeterRgb{0, 255, 0}));
        QCOMPARE(scale.ColourAt(75), (MeterRgb{128, 255, 0}));  // 127.5 rounded
        QCOMPARE(scale.ColourAt(150), (MeterRgb{255, 255, 0}));
        QCOMPARE(scale.ColourAt(225), (MeterRgb{255, 204, 0}));
        QCOMPARE(scale.ColourAt(299), (MeterRgb{255, 154, 0}));  // 153.68 rounded
    }

    void peakHoldsEightTicksThenFallsFaster() {
        PeakMeterScale scale(300);
        bool raised = false;
        QCOMPARE(scale.ApplyLevel(0, 12, raised), 300);
        QVERIFY(raised);
        scale.ApplyLevel(0, 0, raised);
        QVERIFY(!raised);  // lower levels leave the marker where it is
        for (int tick = 0; tick < PeakMeterScale::kHoldTicks; ++tick) {
            QVERIFY(scale.Tick());
            QCOMPARE(scale.marker(0).position, 300);
        }
        int expected = 300;
        for (int fall = 1; fall <= 5; ++fall) {
            scale.Tick();
            expected -= fall;
            QCOMPARE(scale.marker(0).position, expected);
        }
        int ticks = 0;
        while (scale.Tick()) {
            QVERIFY(++ticks < 100);
        }
        QCOMPARE(scale.marker(0).position, 0);
        QCOMPARE(scale.marker(1).position, 0);
    }

    void bandsShareTheHeightAndThePlayerMeterFillsThem() {
        QCOMPARE(BandOf(0, 2, 21, 1).top, 0);
        QCOMPARE(BandOf(0, 2, 21, 1).height, 10);
        QCOMPARE(BandOf(1, 2, 21, 1).top, 11);
        QCOMPARE(BandOf(1, 2, 21, 1).height, 10);
        QCOMPARE(BandOf(2, 3, 20, 1).height, 20 - 2 * 7);  // the last takes the remainder

        PlayerLevelMeter meter;
        meter.resize(300, 40);
        QVERIFY(!meter.fallTimerActive());
        const LevelSet loud = test::LevelsOf({12, -127});
        meter.SetLevels(&loud);
        QVERIFY(meter.fallTimerActive());
        const QRect area = meter.bandArea();
        const PixelBand first = BandOf(0, 2, area.height(), 1);
        const PixelBand second = BandOf(1, 2, area.height(), 1);
        const int y0 = area.top() + first.top + first.height / 2;
        const int y1 = area.top() + second.top + second.height / 2;
        QCOMPARE(pixel(meter, 0, y0), qColour(meter.scale().ColourAt(0)));
        QCOMPARE(pixel(meter, 280, y0), qColour(meter.scale().ColourAt(280)));
        QCOMPARE(pixel(meter, 150, y1), meter.palette().color(QPalette::Button));
        for (int tick = 0; tick < 200 && meter.fallTimerActive(); ++tick) {
            meter.fallTick();
        }
        QVERIFY(!meter.fallTimerActive());
    }

    void dbDisplayMapsTheCaptureScale() {
        QCOMPARE(DbDisplayX(-36, 240), 0);
        QCOMPARE(DbDisplayX(-127, 240), 0);
        QCOMPARE(DbDisplayX(0, 240), 180);
        QCOMPARE(DbDisplayX(12, 240), 240);
        QCOMPARE(DbDisplayX(40, 240), 240);
        LDBDisplay bar;
        bar.resize(240, 12);
        const LevelSet loud = test::LevelsOf({12});
        bar.SetLevels(&loud);
        const QImage image = bar.grab().toImage();
        QVERIFY(image.pixelColor(100, 4).green() > 150);
        QVERIFY(image.pixelColor(100, 4).red() < 50);
        QVERIFY(image.pixelColor(220, 4).red() > 150);
        QVERIFY(image.pixelColor(220, 4).green() < 50);
        const LevelSet silence = test::LevelsOf({-127});
        bar.SetLevels(&silence);
        QCOMPARE(static_cast<int>(bar.levels().levels[0]), -36);
        QCOMPARE(bar.grab().toImage().pixelColor(100, 4), QColor(40, 40, 40));
        bar.setEnabled(false);
        QCOMPARE(bar.grab().toImage().pixelColor(100, 4), QColor(Qt::gray));
    }

    void parsesTypedText() {
        QCOMPARE(ParseDbEditText("-40"), -40);
        QCOMPARE(ParseDbEditText(""), 0);
        QCOMPARE(ParseDbEditText("--5"), -127);
        QCOMPARE(ParseDbEditText("-1x2dB"), -12);
        QCOMPARE(ParseDbEditText("99999999999999"), 127);
        QCOMPARE(DbEditText(-200), std::string("--dB"));
        QCOMPARE(DbEditText(0), std::string("0dB"));
    }

    void focusSelectsTheBoxAndTypingSetsTheClampedValueAtOnce() {
        LDBEdit edit;
        edit.resize(220, 24);
        edit.setValue(-18);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QLineEdit* box = edit.numberBox();
        QVERIFY(box != nullptr);
        edit.activateWindow();
        edit.setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(box->hasFocus());
        QTRY_COMPARE(box->selectedText(), QString("-18dB"));
        QSignalSpy changed(&edit, &LDBEdit::changed);
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
        edit.setEnabled(false);
        QVERIFY(!box->isEnabled());
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
};

}  // namespace sonaro

QTEST_MAIN(sonaro::LevelMetersTest)
#include "level_meters_test.moc"
