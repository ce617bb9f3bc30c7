#pragma once

namespace sonaro {

// What the command line asks of the main window. Implemented by the window; called on the
// user-interface thread.
class CommandHost {
  public:
    virtual ~CommandHost() = default;

    virtual void HideWindow() = 0;
    // Shows the window in its normal state.
    virtual void ShowWindow() = 0;
    // A plain second start: shown again (maximised when it was), raised and activated.
    virtual void RestoreAndActivate() = 0;
    // The Exit command: posts "close now"; the window destroys itself and the program ends.
    virtual void Exit() = 0;
    // Arms the one-shot stop timer (re-arming replaces it); on expiry the window calls
    // Application::OnStopTimer.
    virtual void ArmStopTimer(int ms) = 0;
};

}  // namespace sonaro
