#pragma once
// The main window's recording page: the title, format, size, frame rate, quality and sound
// choices, an optional time limit, and the start and stop buttons, also reachable with the
// global keys Ctrl+F9 and Ctrl+F10 while another program has the focus. The page owns the
// capture session and fills its parameters from the controls at every start.
// Called on the UI thread only; the capture worker reaches it by posted messages.

#include <QColor>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "common/message_target.h"
#include "recorder/recording/qarv_record_properties.h"
#include "recorder/recording/record_control_thread.h"

class QLineEdit;

namespace qarv {

class CButtonEx;
class CCheckBoxEx;
class CColorStatic;
class CComboBoxExEx;
class GlobalHotKey;
class QarvTextBox;
class QtMessageTarget;

class QarvRecorderPage : public QWidget {
    Q_OBJECT

  public:
    // Control ids, as the click notifications carry them.
    static constexpr int kIdFormat = 10162;
    static constexpr int kIdResolution = 10161;
    static constexpr int kIdFrameRate = 10163;
    static constexpr int kIdVideoQuality = 10164;
    static constexpr int kIdSampleRate = 10165;
    static constexpr int kIdStart = 10120;
    static constexpr int kIdStop = 10121;
    static constexpr int kIdGoShare = 10122;
    static constexpr int kIdSelectRegion = 10123;
    static constexpr int kIdTimed = 10151;
    static constexpr int kIdSystemSound = 10152;
    static constexpr int kIdMicrophone = 10153;
    // Both global keys are registered under this identifier.
    static constexpr int kHotKeyId = 786;
    // The page's size in pixels.
    static constexpr int kWidth = 849;
    static constexpr int kHeight = 432;

    static QColor PageColor() { return QColor(100, 150, 150); }

    // With the recorder's own capture session, or the given one (tests).
    explicit QarvRecorderPage(QWidget* parent = nullptr,
                              std::unique_ptr<RecordControlThread> controller = {});
    ~QarvRecorderPage() override;

    // Where the page reports the recording's start (0) and end (1): the main window.
    void SetMainWindow(MessageTargetPtr mainWindow);
    // The catalogue window told about each new video (the my-videos page).
    void SetCatalogueWindow(QObject* catalogueWindow);

    // Fills the page's record from the controls: 0, or -1 when the resolution cannot be read.
    int FillRecordProperties();
    const QarvRecordProperties& RecordProperties() const { return properties_; }

    // The two actions of the buttons and the keys.
    void StartRecordingAction();
    void StopRecordingAction();
    // The screenshot tool: the main window goes away, the tool runs over the frozen screen,
    // and the main window comes back when it ends. Does nothing while the tool is open.
    void SelectRegionAction();
    // A global key: Control alone with F9 starts, with F10 stops, with F11 opens the
    // screenshot tool. 0 when handled, -1 otherwise.
    int OnHotKey(Qt::KeyboardModifiers modifiers, Qt::Key key);
    // A session status from the capture worker: 1 started, 0 ended, 3 stopped for lack of
    // disk space (ended, and the user is told), other values aborted.
    void OnRecordStatus(int status);

    // True while both global keys are held by this page.
    bool HotKeysRegistered() const { return hotKeysRegistered_; }

    // The controls, for the window's tests and its screenshot.
    QarvTextBox* TitleBox() const { return titleBox_; }
    CComboBoxExEx* FormatBox() const { return formatBox_; }
    CComboBoxExEx* ResolutionBox() const { return resolutionBox_; }
    CComboBoxExEx* FrameRateBox() const { return frameRateBox_; }
    CComboBoxExEx* VideoQualityBox() const { return qualityBox_; }
    CComboBoxExEx* SampleRateBox() const { return sampleRateBox_; }
    QLineEdit* MinutesBox() const { return minutesBox_; }
    CColorStatic* StatusText() const { return statusText_; }
    CButtonEx* StartButton() const { return startButton_; }
    CButtonEx* StopButton() const { return stopButton_; }
    CButtonEx* GoShareButton() const { return goShareButton_; }
    CButtonEx* SelectRegionButton() const { return selectRegionButton_; }
    CCheckBoxEx* TimedBox() const { return timedBox_; }
    CCheckBoxEx* SystemSoundBox() const { return systemSoundBox_; }
    CCheckBoxEx* MicrophoneBox() const { return microphoneBox_; }

  signals:
    // The go-share action: show the main window's page with this tab index.
    void ShowPageRequested(int index);

  protected:
    bool event(QEvent* event) override;

  private:
    void CreateControls();
    void RegisterHotKeys();
    void OnSkinButtonClick(int id);
    void OnMinutesChanged(const QString& text);
    void UpdateSampleRateBox();
    void SetButtonEnabled(CButtonEx* button, bool enabled);
    void ShowIdleButtons(const QString& status);
    void PostToMainWindow(unsigned message, int wParam);

    std::unique_ptr<RecordControlThread> controller_;
    QarvRecordProperties properties_;
    MessageTargetPtr mainWindow_;
    std::shared_ptr<QtMessageTarget> selfTarget_;
    QPointer<QObject> catalogueWindow_;
    GlobalHotKey* hotKeys_ = nullptr;
    bool hotKeysRegistered_ = false;
    bool starting_ = false;   // StartRecordingAction waits in its retry box
    bool capturing_ = false;  // the screenshot tool is open

    QarvTextBox* titleBox_ = nullptr;
    CComboBoxExEx* formatBox_ = nullptr;
    CComboBoxExEx* resolutionBox_ = nullptr;
    CComboBoxExEx* frameRateBox_ = nullptr;
    CComboBoxExEx* qualityBox_ = nullptr;
    CComboBoxExEx* sampleRateBox_ = nullptr;
    QLineEdit* minutesBox_ = nullptr;
    CColorStatic* statusText_ = nullptr;
    CButtonEx* startButton_ = nullptr;
    CButtonEx* stopButton_ = nullptr;
    CButtonEx* goShareButton_ = nullptr;
    CButtonEx* selectRegionButton_ = nullptr;
    CCheckBoxEx* timedBox_ = nullptr;
    CCheckBoxEx* systemSoundBox_ = nullptr;
    CCheckBoxEx* microphoneBox_ = nullptr;
};

}  // namespace qarv
