#pragma once
// The program's user, as every command meets it: messages and questions, the dialogs a command
// opens on its way, the status line, the offer to restart the host, and long waits. The window,
// varnel and the tests each implement it; a command never knows which one answers.
//
// An Interaction is in use while it lives. What an implementation leaves alone goes to the one
// that was in use before it, so a test can script the dialogs while another object records the
// message boxes. Without any, messages go to standard error, questions are answered OK and every
// dialog is cancelled.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnel {

// What a command came to. A notice of a failure carries its kind, so that whoever presents it
// tells a conflict from another failure without reading the text.
enum class Outcome : uint8_t {
    Done,
    Failed,     // nothing was written
    Refused,    // the user said no
    Unanswered, // a question found nobody to answer it
    Conflict,   // another program changed the same files meanwhile
    NotFound,   // the host, its configuration or a named plugin is not there
    Cancelled,  // Cancel, or Ctrl+C
};

// A message box: its text, title and style (language.h), and for an error what it reports and
// the number of the message that says it (0: none).
struct Notice {
    std::string text;
    std::string title;
    int style = 0;
    Outcome failure = Outcome::Failed;
    int message = 0;
};

struct FileDialogRequest {
    std::string title;
    std::string initialFolder; // Windows path; empty for the toolkit's choice
    std::string defaultName;
    std::vector<std::pair<std::string, std::string>> filters; // description, patterns ("*.wlx;*.wcx")
    bool multiple = false;
    bool save = false; // a file to write (it may not exist yet; the toolkit asks before replacing one)
};

// A module outside every plugin folder: copy it into one, install it where it lies, or not at all.
enum class CopyChoice { Copy, InPlace, Cancel };

class Interaction {
public:
    Interaction();
    virtual ~Interaction();
    Interaction(const Interaction&) = delete;
    Interaction& operator=(const Interaction&) = delete;

    // A message box; the button that ended it (kIdOk, kIdCancel).
    virtual int Show(const Notice& notice);
    // Windows paths of the chosen existing files; empty when the dialog was cancelled.
    virtual std::vector<std::string> OpenFiles(const FileDialogRequest& request);
    // The association dialog: the module and its kind (which says what the text is: extensions,
    // a detect string or a name), the proposed text, whether an empty text may be confirmed.
    // The text as typed, or nullopt when cancelled.
    virtual std::optional<std::string> AskAssociation(const std::string& modulePath, int8_t kind,
                                                      const std::string& proposal, bool allowEmpty);
    // A one-line text input with its title and label; nullopt when cancelled.
    virtual std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                               const std::string& text);
    // The packer flags dialog for a registered packer module; true when it ended with OK (it has
    // then written the module's registrations).
    virtual bool TweakPacker(const std::string& modulePath);
    // Where a module from outside the plugin folders goes; the question is the text to show.
    virtual CopyChoice AskCopyModule(const std::string& question);
    // Whether to install a module the host cannot load anyway: a question unless answered otherwise.
    virtual bool AcceptBitness(const std::string& question);
    // A line for the status bar: something could not be started, what was undone.
    virtual void Status(const std::string& text);
    // The host must be restarted to see what was installed (the window offers a Restart link).
    virtual void OfferRestart(const std::string& text);
    // A wait for a helper or long work, every few milliseconds while it lasts, then once with
    // `ended`; true asks to stop it (Cancel, Ctrl+C).
    virtual bool Waiting(unsigned elapsedMs, bool ended);

private:
    // The one that answers while none is in use; it is never in use itself.
    struct Unlinked {};
    explicit Interaction(Unlinked);
    friend Interaction& User();

    Interaction* m_outer; // the interaction in use before this one
};

// The interaction in use: the newest living one.
Interaction& User();

} // namespace varnel
