// Forms, reading their descriptions, and the application object.
#include "vcl/Forms.h"

#include <algorithm>

#include "rtl/Libraries.h"
#include "rtl/Startup.h"
#include "vcl/Grid.h"
#include "vcl/StdControls.h"

namespace vcl {

// --- component classes ------------------------------------------------------

namespace {

struct TClassEntry {
    TComponentFactory Factory;
    bool IsControl = true;
};

template <class T>
TClassEntry ControlClass()
{
    return {[](TControl* parent) -> std::unique_ptr<TComponent> { return std::make_unique<T>(parent); }, true};
}
template <class T>
TClassEntry ComponentClass()
{
    return {[](TControl*) -> std::unique_ptr<TComponent> { return std::make_unique<T>(); }, false};
}

std::map<std::string, TClassEntry>& ComponentClasses()
{
    static auto& classes = *new std::map<std::string, TClassEntry>{
        {"TLabel", ControlClass<TLabel>()},           {"TPanel", ControlClass<TPanel>()},
        {"TGroupBox", ControlClass<TGroupBox>()},     {"TEdit", ControlClass<TEdit>()},
        {"TButton", ControlClass<TButton>()},         {"TComboBox", ControlClass<TComboBox>()},
        {"TImage", ControlClass<TImage>()},           {"TStringGrid", ControlClass<TStringGrid>()},
        {"TImageList", ComponentClass<TImageList>()}, {"TTimer", ComponentClass<TTimer>()},
    };
    return classes;
}

}  // namespace

void RegisterComponentClass(const std::string& className, TComponentFactory factory, bool isControl)
{
    ComponentClasses()[className] = TClassEntry{std::move(factory), isControl};
}

// --- TFormReader ------------------------------------------------------------

namespace {
const TDescValue& ValueAt(const TDescProperty& property, size_t index, TDescValue::TKind kind, const char* what)
{
    if (index >= property.Values.size() || property.Values[index].Kind != kind)
        FormDescriptionError(property.Line, "'" + property.Name + "' expects " + what +
                                                (index ? " as value " + std::to_string(index + 1) : ""));
    return property.Values[index];
}
}  // namespace

int TFormReader::Integer(const TDescProperty& property, size_t index)
{
    const long long value = ValueAt(property, index, TDescValue::vkInteger, "a whole number").Integer;
    return static_cast<int>(static_cast<long>(value));
}

std::wstring TFormReader::Text(const TDescProperty& property, size_t index)
{
    return ValueAt(property, index, TDescValue::vkString, "a text in quotes").String;
}

std::vector<std::wstring> TFormReader::Texts(const TDescProperty& property)
{
    std::vector<std::wstring> texts;
    for (size_t i = 0; i < property.Values.size(); ++i) texts.push_back(Text(property, i));
    return texts;
}

std::string TFormReader::Ident(const TDescProperty& property, size_t index)
{
    return ValueAt(property, index, TDescValue::vkIdent, "a name").Ident;
}

bool TFormReader::Boolean(const TDescProperty& property)
{
    ExpectCount(property, 1);
    const std::string value = Ident(property);
    if (value == "true") return true;
    if (value == "false") return false;
    FormDescriptionError(property.Line, "'" + property.Name + "' expects true or false");
}

TColor TFormReader::Color(const TDescProperty& property)
{
    ExpectCount(property, 1);
    static constexpr struct {
        const char* Name;
        TColor Color;
    } kColors[] = {
        {"black", clBlack},
        {"white", clWhite},
        {"red", clRed},
        {"green", clGreen},
        {"blue", clBlue},
        {"navy", clNavy},
        {"gray", clGray},
        {"btnface", clBtnFace},
        {"window", clWindow},
        {"windowtext", clWindowText},
        {"highlight", clHighlight},
        {"highlighttext", clHighlightText},
    };
    if (property.Values[0].Kind == TDescValue::vkString) {
        const std::wstring& text = property.Values[0].String;
        if (text.size() == 7 && text[0] == L'#' &&
            text.find_first_not_of(L"0123456789abcdefABCDEF", 1) == std::wstring::npos) {
            const unsigned long rgb = std::wcstoul(text.c_str() + 1, nullptr, 16);
            return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        }
        FormDescriptionError(property.Line, "a colour text is \"#RRGGBB\"");
    }
    const std::string name = Ident(property);
    for (const auto& color : kColors)
        if (name == color.Name) return color.Color;
    FormDescriptionError(property.Line, "unknown colour '" + name + "'");
}

void TFormReader::ExpectCount(const TDescProperty& property, size_t count)
{
    if (property.Values.size() != count)
        FormDescriptionError(property.Line, "'" + property.Name + "' expects " + std::to_string(count) +
                                                (count == 1 ? " value" : " values"));
}

template <class TEvent>
TEvent TFormReader::Event(const TDescProperty& property, const char* kind) const
{
    ExpectCount(property, 1);
    const std::string name = Ident(property);
    auto found = FForm.FHandlers.find(name);
    if (found == FForm.FHandlers.end())
        FormDescriptionError(property.Line, FForm.ClassName() + " has no handler '" + name + "'");
    const TEvent* event = std::get_if<TEvent>(&found->second);
    if (!event) FormDescriptionError(property.Line, "handler '" + name + "' is not " + kind + " handler");
    return *event;
}

TNotifyEvent TFormReader::NotifyEvent(const TDescProperty& property) const
{
    return Event<TNotifyEvent>(property, "a notification");
}

TKeyPressEvent TFormReader::KeyPressEvent(const TDescProperty& property) const
{
    return Event<TKeyPressEvent>(property, "a key-press");
}

TCloseEvent TFormReader::CloseEvent(const TDescProperty& property) const
{
    return Event<TCloseEvent>(property, "a close");
}

TComponent& TFormReader::Component(const TDescProperty& property) const
{
    const std::string name = Ident(property);
    TComponent* component = FForm.FindComponent(name);
    if (!component) FormDescriptionError(property.Line, "no component '" + name + "' described before this line");
    return *component;
}

void TFormReader::ApplyProperties(const TDescObject& object, TComponent& component)
{
    auto* describable = dynamic_cast<IDescribable*>(&component);
    for (const TDescProperty& property : object.Properties)
        if (!describable || !describable->SetProperty(property, *this))
            FormDescriptionError(property.Line, object.ClassName + " has no property '" + property.Name + "'");
}

void TFormReader::BuildChildren(const TDescObject& object, TControl* parent)
{
    for (const TDescObject& child : object.Children) {
        auto entry = ComponentClasses().find(child.ClassName);
        if (entry == ComponentClasses().end())
            FormDescriptionError(child.Line, "unknown class '" + child.ClassName + "'");
        if (FForm.FindComponent(child.Name) || child.Name == FForm.Name())
            FormDescriptionError(child.Line, "a second component named '" + child.Name + "'");
        std::unique_ptr<TComponent> component = entry->second.Factory(entry->second.IsControl ? parent : nullptr);
        TComponent& made = *component;
        made.SetName(child.Name);
        FForm.InsertComponent(std::move(component));
        ApplyProperties(child, made);
        if (auto* control = dynamic_cast<TControl*>(&made))
            BuildChildren(child, control);
        else if (!child.Children.empty())
            FormDescriptionError(child.Children.front().Line, child.Name + " cannot hold controls");
    }
}

void TFormReader::Build(const TDescObject& formObject)
{
    if (formObject.ClassName != FForm.ClassName())
        FormDescriptionError(formObject.Line,
                             "the description is of " + formObject.ClassName + ", not of " + FForm.ClassName());
    FForm.SetName(formObject.Name);
    ApplyProperties(formObject, FForm);
    BuildChildren(formObject, &FForm);
    for (const auto& [name, bind] : FForm.FFields) {
        TComponent* component = FForm.FindComponent(name);
        if (!component) FormDescriptionError(formObject.Line, FForm.ClassName() + " needs a component '" + name + "'");
        if (!bind(component))
            FormDescriptionError(formObject.Line,
                                 "'" + name + "' is a " + component->ClassName() + ", not of its field's class");
    }
    for (TComponent* component : FForm.Components()) component->Loaded();
    FForm.Loaded();
}

// --- TForm ------------------------------------------------------------------

TForm::TForm(std::wstring resourceName) : TControl(nullptr), FResourceName(std::move(resourceName))
{
    SetVisible(false);
}

TForm::~TForm()
{
    // The windows go first, while every control object still exists.
    if (HandleAllocated()) DestroyWindow(Handle());
    // While the form's control part still exists: the controls leave their
    // parents' lists as they go, children (added later) before their parents.
    DestroyComponents();
}

void TForm::Load()
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, FResourceName.c_str(), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        throw EFormDescriptionError("No form description resource " + rtl::WideToAnsi(FResourceName) + " for " +
                                    ClassName());
    LoadFromText(std::string_view(static_cast<const char*>(data), SizeofResource(module, resource)));
    CreateHandle();
    if (OnCreate) OnCreate(this);
}

void TForm::LoadFromText(std::string_view utf8Description)
{
    const TDescObject description = ParseFormDescription(utf8Description);
    TFormReader(*this).Build(description);
}

void TForm::CreateParams(TCreateParams& params)
{
    TControl::CreateParams(params);
    // A top-level window: of the control's styles only WS_DISABLED (Enabled =
    // false) applies; WS_CHILD of the defaults must go.
    params.Style = (params.Style & WS_DISABLED) | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    switch (FBorderStyle) {
    case bsSingle: params.Style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; break;
    case bsSizeable: params.Style |= WS_OVERLAPPEDWINDOW; break;
    case bsDialog:
        params.Style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
        params.ExStyle |= WS_EX_DLGMODALFRAME;
        break;
    }
    params.ExStyle |= WS_EX_CONTROLPARENT;
    if (Application && Application->MainForm() == this) params.ExStyle |= WS_EX_APPWINDOW;
    RECT bounds{0, 0, FClientWidth, FClientHeight};
    AdjustWindowRectEx(&bounds, params.Style, FALSE, params.ExStyle);
    params.Width = bounds.right - bounds.left;
    params.Height = bounds.bottom - bounds.top;
    switch (FPosition) {
    case poScreenCenter: {
        RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        params.Left = std::max(work.left, work.left + (work.right - work.left - params.Width) / 2);
        params.Top = std::max(work.top, work.top + (work.bottom - work.top - params.Height) / 2);
        break;
    }
    case poDefault: params.Left = params.Top = CW_USEDEFAULT; break;
    case poDesigned:
        params.Left = Left();
        params.Top = Top();
        break;
    }
}

void TForm::HandleCreated() {}

void TForm::SetClientSize(int width, int height)
{
    FClientWidth = width;
    FClientHeight = height;
    if (!HandleAllocated()) return;
    const DWORD style = static_cast<DWORD>(GetWindowLongW(Handle(), GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(Handle(), GWL_EXSTYLE));
    RECT bounds{0, 0, width, height};
    AdjustWindowRectEx(&bounds, style, FALSE, exStyle);
    SetWindowPos(Handle(), nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::Show()
{
    if (!HandleAllocated()) CreateHandle();
    SetVisible(true);
    SetForegroundWindow(Handle());
    Update();
}

void TForm::Hide()
{
    SetVisible(false);
}

void TForm::Close()
{
    TCloseAction action = caHide;
    if (OnClose) OnClose(this, action);
    if (action == caNone) return;
    if (action == caMinimize) {
        ShowWindow(Handle(), SW_MINIMIZE);
        return;
    }
    Hide();
    if (Application && Application->MainForm() == this) Application->Terminate();
}

void TForm::Dispatch(TMessage& message)
{
    switch (message.Msg) {
    case WM_CLOSE:
        // The window stays until the form is freed; closing only hides it.
        Close();
        return;
    case WM_SHOWWINDOW:
        DefaultHandler(message);
        if (message.WParam && OnShow) OnShow(this);
        return;
    default: TControl::Dispatch(message);
    }
}

bool TForm::SetProperty(const TDescProperty& property, TFormReader& reader)
{
    const std::string& key = property.Name;
    if (key == "ClientSize") {
        TFormReader::ExpectCount(property, 2);
        FClientWidth = TFormReader::Integer(property, 0);
        FClientHeight = TFormReader::Integer(property, 1);
    } else if (key == "ClientWidth") {
        FClientWidth = TFormReader::Integer(property);
    } else if (key == "ClientHeight") {
        FClientHeight = TFormReader::Integer(property);
    } else if (key == "BorderStyle") {
        const std::string style = TFormReader::Ident(property);
        if (style == "single")
            FBorderStyle = bsSingle;
        else if (style == "sizeable")
            FBorderStyle = bsSizeable;
        else if (style == "dialog")
            FBorderStyle = bsDialog;
        else
            FormDescriptionError(property.Line, "unknown border style '" + style + "'");
    } else if (key == "Position") {
        const std::string position = TFormReader::Ident(property);
        if (position == "default")
            FPosition = poDefault;
        else if (position == "screencenter")
            FPosition = poScreenCenter;
        else if (position == "designed")
            FPosition = poDesigned;
        else
            FormDescriptionError(property.Line, "unknown position '" + position + "'");
    } else if (key == "OnCreate") {
        OnCreate = reader.NotifyEvent(property);
    } else if (key == "OnShow") {
        OnShow = reader.NotifyEvent(property);
    } else if (key == "OnClose") {
        OnClose = reader.CloseEvent(property);
    } else if (key == "Visible" || key == "Anchors") {
        return false;  // a form is shown by Show, and has no parent to anchor to
    } else {
        return TControl::SetProperty(property, reader);
    }
    if (FClientWidth <= 0 || FClientHeight <= 0)
        FormDescriptionError(property.Line, "the client area must be at least 1 x 1");
    return true;
}

// --- TApplication -----------------------------------------------------------

TApplication* Application = nullptr;

namespace {

LRESULT CALLBACK UtilityWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_TIMER) return DefWindowProcW(window, message, wParam, lParam);
    try {
        TTimer::DispatchTimer(wParam);
    } catch (...) {
        Application->HandleException(nullptr, std::current_exception());
    }
    return 0;
}

void CreateApplication()
{
    if (!Application) Application = new TApplication;
}

// Before the runtime's steps are undone: a form's destructor may still wait
// for a thread and serve its main-thread calls. The object stays reachable
// while it goes: its forms' timers leave its hidden window.
void DestroyApplication()
{
    delete Application;
    Application = nullptr;
}

constexpr rtl::TStartupStep kClassLibrarySteps[] = {
    {"Forms.Application", CreateApplication, DestroyApplication},
};
const rtl::TStartupRegistration kClassLibraryRegistration(rtl::TStartupLevel::slClassLibrary, kClassLibrarySteps);

}  // namespace

TApplication::TApplication()
{
    // The title defaults to the program's file name without its extension.
    if (std::wstring name = rtl::ModuleFileName(); !name.empty()) {
        name = name.substr(name.find_last_of(L"\\/") + 1);
        FTitle = name.substr(0, name.rfind(L'.'));
    }
}

TApplication::~TApplication()
{
    while (!FForms.empty()) FForms.pop_back();
    if (FUtilityWindow) DestroyWindow(FUtilityWindow);
}

void TApplication::AddForm(std::unique_ptr<TForm> form)
{
    TForm* added = form.get();
    FForms.push_back(std::move(form));
    if (!FMainForm) FMainForm = added;
    added->Load();
}

HWND TApplication::UtilityWindow()
{
    if (FUtilityWindow) return FUtilityWindow;
    static const wchar_t kClassName[] = L"TApplicationUtility";
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = UtilityWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    FUtilityWindow =
        CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    return FUtilityWindow;
}

void TApplication::Run()
{
    if (FMainForm) FMainForm->Show();
    while (!FTerminated) HandleMessage();
}

bool TApplication::IsDialogKey(MSG& message)
{
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || !message.hwnd) return false;
    // Tab and the arrows move between the controls of our forms, as in a dialog.
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (!dynamic_cast<TForm*>(TControl::FromHandle(root))) return false;
    return IsDialogMessageW(root, &message) != FALSE;
}

void TApplication::HandleMessage()
{
    MSG message;
    const BOOL result = GetMessageW(&message, nullptr, 0, 0);
    if (result == 0 || result == -1) {
        FTerminated = true;
        return;
    }
    if (!IsDialogKey(message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void TApplication::ProcessMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            FTerminated = true;
            return;
        }
        if (!IsDialogKey(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void TApplication::Terminate()
{
    PostQuitMessage(0);
}

void TApplication::HandleException(rtl::TObject* sender, std::exception_ptr error)
{
    if (!error) return;
    try {
        try {
            std::rethrow_exception(error);
        } catch (const rtl::EAbort&) {
            return;  // the silent abort: nothing to show
        } catch (...) {}
        const rtl::TApplicationExceptionHook hook = rtl::HandleExceptionHook.load(std::memory_order_acquire);
        if (hook && !hook(error)) return;
        // The hook has seen this exception: the show hook leaves it alone.
        const rtl::THandleExceptionScope inside;
        if (OnException)
            OnException(sender, error);
        else
            ShowException(error);
    } catch (...) {
        // A failing exception handler has nowhere left to report to.
        OutputDebugStringW(L"vcl: the exception handler raised an exception\n");
    }
}

std::wstring TApplication::ExceptionMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const rtl::Exception& e) {
        return rtl::AnsiToWide(e.Message());
    } catch (const std::exception& e) {
        return rtl::AnsiToWide(e.what());
    } catch (...) {
        return L"Unknown exception";
    }
}

void TApplication::ShowException(std::exception_ptr error)
{
    if (!error) return;
    try {
        const rtl::TApplicationExceptionHook hook = rtl::ShowExceptionHook.load(std::memory_order_acquire);
        if (hook && !hook(error)) return;
        const std::wstring message = ExceptionMessage(error);
        // The box's message loop keeps serving timers and paints: a handler
        // that fails again would open a box inside the box, without end.
        if (FShowingException) {
            OutputDebugStringW((L"vcl: exception while an exception box is open: " + message + L"\n").c_str());
            return;
        }
        struct TShowingGuard {
            bool& Flag;
            explicit TShowingGuard(bool& flag) : Flag(flag) { Flag = true; }
            ~TShowingGuard() { Flag = false; }
        } guard(FShowingException);
        MessageBox(message, FTitle, MB_OK | MB_ICONERROR);
    } catch (...) {
        OutputDebugStringW(L"vcl: an exception could not be shown\n");
    }
}

int TApplication::MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags)
{
    HWND owner = GetActiveWindow();
    if (!owner && FMainForm && FMainForm->HandleAllocated() && IsWindowVisible(FMainForm->Handle()))
        owner = FMainForm->Handle();
    return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

}  // namespace vcl
