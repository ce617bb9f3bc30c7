#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include "formats/wave_format.h"
#include "options_fixture.h"
#include "ui/aiff_encode_dialog.h"
#include "ui/flac_encode_dialog.h"
#include "ui/format_options.h"
#include "ui/mp3_encode_dialog.h"
#include "ui/options_dialog.h"
#include "ui/opus_encode_dialog.h"
#include "ui/output_options_page.h"
#include "ui/raw_format_dialog.h"
#include "ui/wave_encode_dialog.h"

namespace sonaro {

class FormatDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_fixture = std::make_unique<test::OptionsFixture>(); }
    void cleanup() { m_fixture.reset(); }

    void mp3ListsAndVariableRateChecks() {
        Mp3EncodeDialog dialog(m_fixture->formats, m_fixture->prompter);
        dialog.show();
        QVERIFY(test::SaveScreenshot(dialog, "format_mp3.png"));
        QCOMPARE(dialog.cbrBitRate()->count(), 17);
        QCOMPARE(dialog.cbrBitRate()->currentText(), QStringLiteral("128"));
        QCOMPARE(dialog.vbrMinimum()->currentText(), QStringLiteral("32"));
        QCOMPARE(dialog.vbrQuality()->itemText(0), QStringLiteral("0 (Highest)"));
        QCOMPARE(dialog.vbrQuality()->currentIndex(), 4);
        QCOMPARE(dialog.channelMode()->currentText(), QStringLiteral("Joint"));
        QVERIFY(!dialog.vbrMaximum()->isEnabled() && dialog.highQuality()->isEnabled());

        dialog.variableRate()->setChecked(true);
        QVERIFY(dialog.vbrMaximum()->isEnabled() && !dialog.cbrBitRate()->isEnabled());
        dialog.vbrMinimum()->setCurrentText(QStringLiteral("16"));
        dialog.vbrMaximum()->setCurrentText(QStringLiteral("192"));
        QVERIFY(!test::Accepts(dialog));
        const auto& box = m_fixture->prompter.shown().back();
        QCOMPARE(box.title, "Sonaro Sound Recorder");
        QCOMPARE(box.icon, PromptIcon::Error);
        QVERIFY(box.text.starts_with("Your VBR Minimum and Maximum Bitrates are too far apart"));

        dialog.vbrMinimum()->setCurrentText(QStringLiteral("128"));
        dialog.vbrMaximum()->setCurrentText(QStringLiteral("64"));
        QVERIFY(!test::Accepts(dialog));
        QCOMPARE(test::ShownBalloon::Current(),
                 (test::ShownBalloon{
                     "", "Your VBR Maximum Bitrate cannot be smaller than the Minimum Bitrate.",
                     dialog.vbrMaximum()}));
        QCOMPARE(m_fixture->formats.LoadMp3Settings(), Mp3Settings{});

        dialog.vbrMaximum()->setCurrentText(QStringLiteral("160"));
        dialog.channelMode()->setCurrentIndex(3);
        dialog.errorProtection()->setChecked(true);
        QVERIFY(test::Accepts(dialog));
        const Mp3Settings saved = m_fixture->formats.LoadMp3Settings();
        QVERIFY(!saved.constantBitRate);
        QCOMPARE(saved.vbrMinBitRate, 128);
        QCOMPARE(saved.vbrMaxBitRate, 160);
        QCOMPARE(saved.channelMode, 3);
        QVERIFY(saved.errorProtection);
    }

    void aiffShowsDefaultsForZerosAndSaves() {
        m_fixture->formats.SaveAiffSettings({0, 0, 0});
        AiffEncodeDialog dialog(m_fixture->formats, m_fixture->prompter);
        dialog.show();
        QVERIFY(test::SaveScreenshot(dialog, "format_aiff.png"));
        QCOMPARE(dialog.sampleRate()->currentText(), QStringLiteral("44100"));
        QCOMPARE(dialog.sampleSize()->currentText(), QStringLiteral("16"));
        QCOMPARE(dialog.channels()->currentText(), QStringLiteral("Stereo"));
        QCOMPARE(dialog.sampleRate()->itemText(11), QStringLiteral("196000"));
        dialog.sampleRate()->setCurrentText(QStringLiteral("12345"));
        dialog.sampleSize()->setCurrentIndex(0);
        dialog.channels()->setCurrentIndex(0);
        dialog.accept();
        QCOMPARE(m_fixture->formats.LoadAiffSettings(), (AiffSettings{1, 12345, 8}));

        AiffEncodeDialog again(m_fixture->formats, m_fixture->prompter);
        again.sampleRate()->setCurrentText(QString());
        again.accept();
        QCOMPARE(m_fixture->formats.LoadAiffSettings().sampleRate, 44100);

        AiffEncodeDialog absurd(m_fixture->formats, m_fixture->prompter);
        absurd.show();
        absurd.sampleRate()->setCurrentText(QStringLiteral("999999"));
        absurd.accept();
        QVERIFY(absurd.isVisible());
        QCOMPARE(m_fixture->formats.LoadAiffSettings().sampleRate, 44100);
    }

    void flacAndOpusShowTheStoredValuesAndSave() {
        FlacEncodeDialog flac(m_fixture->formats, m_fixture->prompter);
        flac.show();
        QVERIFY(test::SaveScreenshot(flac, "format_flac.png"));
        const auto flacList = [&](const char* name) {
            return flac.findChild<QComboBox*>(QString::fromLatin1(name));
        };
        QCOMPARE(flacList("rate")->currentText(), QStringLiteral("44100"));
        QCOMPARE(flacList("size")->currentText(), QStringLiteral("16"));
        QCOMPARE(flacList("channels")->currentText(), QStringLiteral("Stereo"));
        QCOMPARE(flacList("level")->currentIndex(), 5);
        flacList("rate")->setCurrentText(QStringLiteral("999999"));
        flac.accept();
        QVERIFY(flac.isVisible());
        QCOMPARE(m_fixture->formats.LoadFlacSettings(), FlacSettings{});
        flacList("rate")->setCurrentText(QStringLiteral("96000"));
        flacList("size")->setCurrentIndex(1);
        flacList("channels")->setCurrentIndex(0);
        flacList("level")->setCurrentIndex(8);
        flac.accept();
        QCOMPARE(m_fixture->formats.LoadFlacSettings(), (FlacSettings{8, 24, 96000, 1}));

        OpusEncodeDialog opus(m_fixture->formats);
        opus.show();
        QVERIFY(test::SaveScreenshot(opus, "format_opus.png"));
        const auto opusList = [&](const char* name) {
            return opus.findChild<QComboBox*>(QString::fromLatin1(name));
        };
        QCOMPARE(opusList("bitRate")->currentText(), QStringLiteral("64"));
        QCOMPARE(opusList("application")->currentText(), QStringLiteral("Audio"));
        QCOMPARE(opusList("complexity")->currentIndex(), 10);
        opusList("bitRate")->setCurrentText(QStringLiteral("24"));
        opusList("application")->setCurrentIndex(0);
        opusList("complexity")->setCurrentIndex(3);
        opusList("channels")->setCurrentIndex(0);
        opus.accept();
        QCOMPARE(m_fixture->formats.LoadOpusSettings(), (OpusSettings{24, true, 3, 1}));
        m_fixture->formats.SaveOpusSettings({300, false, 10, 2});
        OpusEncodeDialog typed(m_fixture->formats);
        QCOMPARE(typed.findChild<QComboBox*>(QStringLiteral("bitRate"))->currentText(),
                 QStringLiteral("300"));
    }

    void rawFormatShowsStoredValuesChecksTheRateAndSaves() {
        RawFormatDialog vox(m_fixture->settings, true, m_fixture->prompter);
        vox.show();
        QVERIFY(test::SaveScreenshot(vox, "format_raw.png"));
        QCOMPARE(vox.objectName(), QStringLiteral("LRAWDlg"));
        QCOMPARE(vox.codec()->currentText(), QStringLiteral("Dialogic ADPCM"));
        QCOMPARE(vox.codec()->count(), 9);
        QCOMPARE(vox.sampleRate()->currentText(), QStringLiteral("8000"));
        QCOMPARE(vox.channels()->currentText(), QStringLiteral("1"));

        vox.sampleRate()->setCurrentText(QStringLiteral("5000"));
        vox.accept();
        QVERIFY(vox.isVisible());
        QCOMPARE(LoadRawFormat(m_fixture->settings, true).sampleRate, 8000);

        vox.codec()->setCurrentIndex(2);
        vox.sampleRate()->setCurrentText(QStringLiteral("196000"));
        vox.channels()->setCurrentIndex(1);
        vox.accept();
        QVERIFY(!vox.isVisible());
        const RawFormat saved = LoadRawFormat(m_fixture->settings, true);
        QCOMPARE(saved.sampleRate, 196000);
        QCOMPARE(saved.codec, 2);
        QCOMPARE(saved.channels, 2);
        QCOMPARE(vox.format().sampleRate, 196000);

        RawFormatDialog raw(m_fixture->settings, false, m_fixture->prompter);
        QCOMPARE(raw.codec()->currentText(), QStringLiteral("16 bit PCM (Intel Endian)"));
        QCOMPARE(raw.sampleRate()->currentText(), QStringLiteral("44100"));
    }

    void waveChooserPreselectsAndSaves() {
        m_fixture->formats.SaveWavFormat(MakePcmWaveFormat(44100, 1, 24));
        const CodecManager codecs;
        WaveEncodeDialog dialog(m_fixture->formats, codecs, m_fixture->prompter);
        dialog.show();
        QVERIFY(test::SaveScreenshot(dialog, "format_wav.png"));
        QCOMPARE(dialog.codecList()->itemText(0), QStringLiteral("PCM Uncompressed"));
        QCOMPARE(dialog.codecList()->itemText(1), QStringLiteral("GSM6.10 Native"));
        QVERIFY(dialog.codecList()->count() > 2);
        QCOMPARE(dialog.codecList()->currentIndex(), 0);
        QCOMPARE(dialog.formatList()->count(), 88);
        QCOMPARE(dialog.formatList()->currentIndex(), 50);
        QCOMPARE(dialog.formatList()->itemText(12), QStringLiteral("8000 Hz, 16 Bits, Stereo"));

        dialog.codecList()->setCurrentIndex(1);
        QCOMPARE(dialog.formatList()->count(), 2);
        dialog.formatList()->setCurrentIndex(1);
        QVERIFY(test::Accepts(dialog));
        const WaveFormat saved = m_fixture->formats.LoadWavFormat();
        QCOMPARE(saved.formatTag, 0x31);
        QCOMPARE(saved.samplesPerSec, 11025u);

        WaveEncodeDialog reopened(m_fixture->formats, codecs, m_fixture->prompter);
        QCOMPARE(reopened.codecList()->currentIndex(), 1);
        QCOMPARE(reopened.formatList()->currentIndex(), 1);
    }

    void formatSettingsButtonOpensTheChosenFormatsDialog() {
        m_fixture->services.showFormatOptions = [this](OutputFormat format, QWidget* owner) {
            return ShowFormatOptions(static_cast<int>(format), owner, m_fixture->formats,
                                     m_fixture->prompter);
        };
        auto [options, page] = m_fixture->showPage<OutputOptionsPage>(OptionsDialog::kOutput);
        const std::pair<int, const char*> dialogs[] = {
            {2, "LAIFFEncodeDlg"}, {3, "FlacEncodeDlg"}, {4, "OpusEncodeDlg"}};
        for (const auto& [format, name] : dialogs) {
            page->formatList()->setCurrentIndex(format);
            QString opened;
            QTimer::singleShot(0, [&] {
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* dialog = qobject_cast<QDialog*>(widget);
                        dialog && dialog->isVisible() && dialog != options.get()) {
                        opened = dialog->objectName();
                        dialog->reject();
                    }
                }
            });
            QTest::mouseClick(page->formatSettings(), Qt::LeftButton);
            QCOMPARE(opened, QString::fromLatin1(name));
        }
    }

  private:
    std::unique_ptr<test::OptionsFixture> m_fixture;
};

}  // namespace sonaro

QTEST_MAIN(sonaro::FormatDialogsTest)
#include "format_dialogs_test.moc"
