#pragma once

#include <QWidget>

#include <string>

#include "audio/level_set.h"
#include "record/level_meter_scale.h"

namespace sonaro {

// Told when the user moves the voice-activation marker or turns voice activation on or off.
class VoiceLevelMeterListener {
  public:
    virtual ~VoiceLevelMeterListener() = default;
    virtual void OnMarkerMoved(std::int8_t level) = 0;
    virtual void OnMarkerToggled(bool shown) = 0;
};

// The main window's input level meter: a segmented bar per channel on the capture scale (-36 to
// +12 dB), green below 0 dB and red from it, with a draggable voice-activation marker whose tab
// shows "<label> (<level>db)". A right-click offers turning the marker on or off.
class VoiceLevelMeter : public QWidget {
    Q_OBJECT

  public:
    explicit VoiceLevelMeter(QWidget* parent = nullptr);

    void SetListener(VoiceLevelMeterListener* listener) { m_listener = listener; }
    // Repaints only what changed while the channel count stays the same.
    void SetLevels(const LevelSet* levels);
    void SetMarkerShown(bool shown);
    void SetMarkerLevel(std::int8_t level);
    void SetMarkerEnabled(bool enabled);
    // The tab's label and the menu texts (empty: "Enable" and "Disable").
    void SetMarkerLabel(const std::string& label, const std::string& enableText = {},
                        const std::string& disableText = {});

    const LevelSet& levels() const { return m_levels; }
    bool markerShown() const { return m_markerShown; }
    std::int8_t markerLevel() const { return m_markerLevel; }
    // The scale of the current size; the tab's place in pixels.
    VoiceMeterScale scale() const;
    QRect tabRect() const;
    // The menu item the right-click offers now.
    QString toggleText() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void paintBands(class QPainter& painter, const VoiceMeterScale& scale) const;
    void paintMarker(QPainter& painter, const VoiceMeterScale& scale) const;
    QRect bandArea() const;

    VoiceLevelMeterListener* m_listener = nullptr;
    LevelSet m_levels;
    bool m_markerShown = false;
    bool m_markerEnabled = true;
    std::int8_t m_markerLevel = 0;
    std::string m_label;
    std::string m_enableText;
    std::string m_disableText;
    bool m_dragging = false;
    int m_pressX = 0;
    int m_levelAtPress = 0;
};

}  // namespace sonaro
