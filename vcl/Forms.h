// Forms and the application object.
//
// A form is built from its stored form description (vcl/FormDescription.h),
// kept as an RCDATA resource: the derived form class registers, in its
// constructor, the fields that receive its controls and the handlers that the
// description's events name; TApplication::CreateForm then reads the
// description, builds the controls, binds fields and events, and creates the
// windows. Main thread only.
#pragma once
#include <windows.h>

#include <exception>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "vcl/Controls.h"
#include "vcl/FormDescription.h"

namespace vcl {

enum TBorderStyle { bsSingle, bsSizeable, bsDialog };
enum TPosition { poDefault, poScreenCenter, poDesigned };

class TForm : public TControl {
public:
    // resourceName: the RCDATA resource of the executable that holds the
    // form's description.
    explicit TForm(std::wstring resourceName);
    ~TForm() override;

    // Reads the description from the resource, builds and binds the controls,
    // then creates the windows (hidden). Throws EFormDescriptionError for a
    // faulty description or binding, EWindowError when a window is refused.
    void Load();
    // The same from a text, without creating windows (CreateHandle does that).
    void LoadFromText(std::string_view utf8Description);

    void Show();
    void Hide();
    // Asks the form to close: OnClose decides (caNone keeps it open); closing
    // the main form ends the application.
    void Close();

    int ClientWidth() const { return FClientWidth; }
    int ClientHeight() const { return FClientHeight; }
    void SetClientSize(int width, int height);

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TCloseEvent OnClose;

    void Dispatch(TMessage& message) override;
    bool SetProperty(const TDescProperty& property, TFormReader& reader) override;

protected:
    // Registration by the derived class, in its constructor.
    template <class TField>
    void RegisterField(const std::string& name, TField*& field)
    {
        static_assert(std::is_base_of_v<TComponent, TField>);
        FFields[name] = [&field](TComponent* component) {
            field = dynamic_cast<TField*>(component);
            return field != nullptr;
        };
    }
    template <class TOwner>
    void RegisterHandler(const std::string& name, void (TOwner::*method)(rtl::TObject*))
    {
        auto* self = static_cast<TOwner*>(this);
        FHandlers[name] = TNotifyEvent([self, method](rtl::TObject* sender) { (self->*method)(sender); });
    }
    template <class TOwner>
    void RegisterHandler(const std::string& name, void (TOwner::*method)(rtl::TObject*, wchar_t&))
    {
        auto* self = static_cast<TOwner*>(this);
        FHandlers[name] =
            TKeyPressEvent([self, method](rtl::TObject* sender, wchar_t& key) { (self->*method)(sender, key); });
    }
    template <class TOwner>
    void RegisterHandler(const std::string& name, void (TOwner::*method)(rtl::TObject*, TCloseAction&))
    {
        auto* self = static_cast<TOwner*>(this);
        FHandlers[name] = TCloseEvent(
            [self, method](rtl::TObject* sender, TCloseAction& action) { (self->*method)(sender, action); });
    }

    void CreateParams(TCreateParams& params) override;
    void HandleCreated() override;

private:
    friend class TFormReader;
    using THandler = std::variant<TNotifyEvent, TKeyPressEvent, TCloseEvent>;

    std::wstring FResourceName;
    std::map<std::string, std::function<bool(TComponent*)>> FFields;
    std::map<std::string, THandler> FHandlers;
    int FClientWidth = 320;
    int FClientHeight = 240;
    TBorderStyle FBorderStyle = bsSingle;
    TPosition FPosition = poScreenCenter;
    bool FShown = false;
};

// Reads values of the description's properties for TComponent::SetProperty;
// each getter raises EFormDescriptionError naming the line when the value is
// of the wrong kind or missing.
class TFormReader {
public:
    explicit TFormReader(TForm& form) : FForm(form) {}

    static int Integer(const TDescProperty& property, size_t index = 0);
    static std::wstring Text(const TDescProperty& property, size_t index = 0);
    static std::vector<std::wstring> Texts(const TDescProperty& property);
    static std::string Ident(const TDescProperty& property, size_t index = 0);
    static bool Boolean(const TDescProperty& property);
    // A colour name (black, red, btnface, window, ...) or a "#RRGGBB" text.
    static TColor Color(const TDescProperty& property);
    // Raises unless the property has exactly count values.
    static void ExpectCount(const TDescProperty& property, size_t count);

    TNotifyEvent NotifyEvent(const TDescProperty& property) const;
    TKeyPressEvent KeyPressEvent(const TDescProperty& property) const;
    TCloseEvent CloseEvent(const TDescProperty& property) const;
    // A component described earlier in the same description.
    TComponent& Component(const TDescProperty& property) const;

    // Builds the form's components from the description's children.
    void Build(const TDescObject& formObject);

private:
    template <class TEvent>
    TEvent Event(const TDescProperty& property, const char* kind) const;
    void BuildChildren(const TDescObject& object, TControl* parent);
    void ApplyProperties(const TDescObject& object, TComponent& component);

    TForm& FForm;
};

// Registers a component class under the name the descriptions use; the
// library's own classes are registered already.
using TComponentFactory = std::function<std::unique_ptr<TComponent>(TControl* parent)>;
void RegisterComponentClass(const std::string& className, TComponentFactory factory, bool isControl);

using TExceptionEvent = std::function<void(rtl::TObject* sender, std::exception_ptr error)>;

class TApplication : public rtl::TObject {
public:
    TApplication();
    ~TApplication() override;

    // Builds a form of the class (see TForm::Load); the first one becomes the
    // main form. The application owns the forms.
    template <class TFormClass, class... TArgs>
    TFormClass* CreateForm(TArgs&&... args)
    {
        auto form = std::make_unique<TFormClass>(std::forward<TArgs>(args)...);
        TFormClass* result = form.get();
        AddForm(std::move(form));
        return result;
    }
    TForm* MainForm() const { return FMainForm; }

    // Shows the main form and runs the message loop until Terminate or the
    // main form closes. Exceptions of handlers never reach it (see
    // HandleException); what escapes the loop itself propagates to the caller.
    void Run();
    // Serves the waiting messages, then returns.
    void ProcessMessages();
    // Waits for one message and serves it.
    void HandleMessage();
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // Handles an exception caught at a callback boundary: the silent abort is
    // ignored; otherwise rtl::HandleExceptionHook is asked first, then
    // OnException runs when set, else ShowException. Never throws.
    void HandleException(rtl::TObject* sender, std::exception_ptr error);
    // Shows the exception's message (unless rtl::ShowExceptionHook takes it)
    // in a message box with the error icon and the application's title. While such a box is open (its loop still
    // serves timers), further exceptions go to the debugger output instead
    // of a second box. Main thread; never throws.
    void ShowException(std::exception_ptr error);
    // The message text of an exception (the 8-bit message of ours, what() of
    // the standard library's).
    static std::wstring ExceptionMessage(std::exception_ptr error);

    // A modal message box owned by the active form; flags as MessageBoxW.
    int MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags = MB_OK);

    const std::wstring& Title() const { return FTitle; }
    void SetTitle(std::wstring title) { FTitle = std::move(title); }

    TExceptionEvent OnException;

    // A hidden window of the application, for timers. Null when the system
    // refuses it.
    HWND UtilityWindow();

private:
    void AddForm(std::unique_ptr<TForm> form);
    bool IsDialogKey(MSG& message);

    std::vector<std::unique_ptr<TForm>> FForms;
    TForm* FMainForm = nullptr;  // weak
    std::wstring FTitle;
    bool FTerminated = false;
    bool FShowingException = false;
    HWND FUtilityWindow = nullptr;
};

// The process's application object, made and freed (with its forms) by the
// class library's step "Forms.Application" of the program's start-up list
// (rtl/Startup.h); null outside it.
extern TApplication* Application;

}  // namespace vcl
