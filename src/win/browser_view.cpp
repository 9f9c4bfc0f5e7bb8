#include "win/browser_view.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <oleidl.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <string_view>

namespace quorvane::win {

using Microsoft::WRL::ComPtr;

namespace {

constexpr const wchar_t* kHostClass = L"SQLServerQuorvaneBrowserHost";
// How long a report may take to bring its document before the window's own page shows.
constexpr UINT kDocumentWaitMs = 5000;
// The document mode the report's index menu needs (IE 11 standards).
constexpr DWORD kBrowserEmulation = 11001;
constexpr std::string_view kUserAgent = "SQLServerQuorvane";
// MSHTML's document class (MinGW's uuid library lacks it).
constexpr CLSID kHtmlDocument = {
    0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

void UseStandardsMode() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring_view full(path);
  const std::wstring name(full.substr(full.find_last_of(L"\\/") + 1));
  RegSetKeyValueW(HKEY_CURRENT_USER,
                  L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
                  L"FEATURE_BROWSER_EMULATION",
                  name.c_str(), REG_DWORD, &kBrowserEmulation, sizeof kBrowserEmulation);
}

std::wstring Text(const VARIANT& value) {
  const VARIANT& inner = value.vt == (VT_BYREF | VT_VARIANT) ? *value.pvarVal : value;
  return inner.vt == VT_BSTR && inner.bstrVal ? std::wstring(inner.bstrVal) : std::wstring();
}

std::wstring WithoutFragment(const std::wstring& url) {
  return url.substr(0, url.find(L'#'));
}

}  // namespace

// The control's site: client site, in-place site, UI handler and receiver of its events.
class BrowserView::Site final : public IOleClientSite,
                                public IOleInPlaceSite,
                                public IDocHostUIHandler,
                                public IDispatch {
 public:
  Site(HWND host, BrowserEvents events) : host_(host), events_(std::move(events)) {}
  const BrowserEvents& Events() const { return events_; }

  // What the next navigation of our own is, and whether its document has come.
  bool allowNext = false;
  bool documentArrived = false;
  std::wstring document;  // the shown document's address as the control names it

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else if (iid == IID_IDocHostUIHandler) {
      *out = static_cast<IDocHostUIHandler*>(this);
    } else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
      *out = static_cast<IDispatch*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = host_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnUIActivate() override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    *frame = nullptr;
    *document = nullptr;
    GetClientRect(host_, position);
    GetClientRect(host_, clip);
    info->fMDIApp = FALSE;
    info->hwndFrame = GetAncestor(host_, GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD, POINT* at, IUnknown*, IDispatch*) override {
    if (events_.contextMenu) events_.contextMenu(*at);
    return S_OK;  // the control shows none of its own
  }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
    info->cbSize = sizeof *info;
    info->dwFlags = DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_NO3DBORDER;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) override {
    return S_OK;
  }
  STDMETHODIMP HideUI() override { return S_OK; }
  STDMETHODIMP UpdateUI() override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID*, DWORD) override {
    // Ctrl+N (a new window) and Ctrl+A are switched off.
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (message->message == WM_KEYDOWN && control &&
        (message->wParam == 'N' || message->wParam == 'A')) {
      return S_OK;
    }
    return S_FALSE;
  }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
    *key = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
  STDMETHODIMP GetExternal(IDispatch** external) override {
    *external = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
    *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
    *out = nullptr;
    return S_FALSE;
  }

  // IDispatch: DWebBrowserEvents2
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    VARIANTARG* arguments = parameters->rgvarg;  // in reverse order
    switch (id) {
      case DISPID_BEFORENAVIGATE2:
        if (parameters->cArgs == 7) {
          BeforeNavigate(Text(arguments[5]), *arguments[0].pboolVal);
        }
        break;
      case DISPID_NEWWINDOW3:
        if (parameters->cArgs == 5) {
          *arguments[3].pboolVal = VARIANT_TRUE;
          if (events_.openElsewhere) events_.openElsewhere(Text(arguments[0]));
        }
        break;
      case DISPID_NEWWINDOW2:
        if (parameters->cArgs == 2) *arguments[0].pboolVal = VARIANT_TRUE;
        break;
      case DISPID_DOCUMENTCOMPLETE:
        documentArrived = true;
        break;
      default:
        break;
    }
    return S_OK;
  }

 private:
  ~Site() = default;

  void BeforeNavigate(const std::wstring& url, VARIANT_BOOL& cancel) {
    if (allowNext) {  // our own navigation: the report or the empty page
      allowNext = false;
      document = url;
      return;
    }
    // Within the report (its index menu's anchors) the view follows; anything else opens in
    // the user's browser.
    if (!document.empty() && WithoutFragment(url) == WithoutFragment(document)) return;
    cancel = VARIANT_TRUE;
    if (events_.openElsewhere && !url.empty()) events_.openElsewhere(url);
  }

  HWND host_;
  BrowserEvents events_;
  ULONG references_ = 1;
};

struct BrowserView::Control {
  ComPtr<IOleObject> object;
  ComPtr<IWebBrowser2> browser;
  ComPtr<IConnectionPoint> events;
  DWORD cookie = 0;
};

BrowserView::BrowserView() = default;

std::unique_ptr<BrowserView> BrowserView::Create(HWND parent, BrowserEvents events) {
  // Wine creates the control without its HTML engine; MSHTML's own document class tells.
  // Tests set QUORVANE_BROWSER_WITHOUT_ENGINE_CHECK to reach the watch for a document instead.
  ComPtr<IUnknown> engine;
  if (GetEnvironmentVariableW(L"QUORVANE_BROWSER_WITHOUT_ENGINE_CHECK", nullptr, 0) == 0 &&
      FAILED(
          CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&engine)))) {
    return nullptr;
  }
  engine.Reset();
  UseStandardsMode();
  UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, const_cast<char*>(kUserAgent.data()),
                        static_cast<DWORD>(kUserAgent.size()), 0);

  WNDCLASSEXW hostClass{};
  hostClass.cbSize = sizeof hostClass;
  hostClass.lpfnWndProc = DefWindowProcW;
  hostClass.hInstance = GetModuleHandleW(nullptr);
  hostClass.lpszClassName = kHostClass;
  RegisterClassExW(&hostClass);  // fails harmlessly when registered already

  std::unique_ptr<BrowserView> view(new BrowserView());
  view->host_ = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!view->host_) return nullptr;
  view->site_ = {new Site(view->host_, std::move(events)), [](Site* site) { site->Release(); }};

  auto control = std::make_unique<Control>();
  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&control->object))) ||
      FAILED(control->object->SetClientSite(view->site_.get()))) {
    DestroyWindow(view->host_);
    return nullptr;
  }
  RECT area{};
  control->object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, view->site_.get(), 0, view->host_,
                          &area);
  if (FAILED(control->object.As(&control->browser))) {
    control->object->Close(OLECLOSE_NOSAVE);
    control->object->SetClientSite(nullptr);
    DestroyWindow(view->host_);
    return nullptr;
  }
  control->browser->put_Silent(VARIANT_TRUE);  // no script error dialogs
  control->browser->put_RegisterAsDropTarget(VARIANT_FALSE);
  ComPtr<IConnectionPointContainer> points;
  if (SUCCEEDED(control->browser.As(&points)) &&
      SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &control->events))) {
    control->events->Advise(static_cast<IDispatch*>(view->site_.get()), &control->cookie);
  }
  view->control_ = std::move(control);
  return view;
}

BrowserView::~BrowserView() {
  if (!host_) return;
  KillTimer(host_, reinterpret_cast<UINT_PTR>(this));
  if (control_) {
    if (control_->events) control_->events->Unadvise(control_->cookie);
    control_->browser->Stop();
    control_->object->Close(OLECLOSE_NOSAVE);
    control_->object->SetClientSite(nullptr);
    control_.reset();
  }
  if (IsWindow(host_)) DestroyWindow(host_);
}

void BrowserView::Navigate(const std::wstring& url) {
  site_->allowNext = true;
  site_->documentArrived = false;
  BSTR address = SysAllocString(url.c_str());
  control_->browser->Navigate(address, nullptr, nullptr, nullptr, nullptr);
  SysFreeString(address);
  SetTimer(host_, reinterpret_cast<UINT_PTR>(this), kDocumentWaitMs,
           [](HWND host, UINT, UINT_PTR id, DWORD) {
             KillTimer(host, id);
             reinterpret_cast<BrowserView*>(id)->Timer(id);
           });
}

void BrowserView::ShowEmptyPage() {
  KillTimer(host_, reinterpret_cast<UINT_PTR>(this));
  site_->allowNext = true;
  BSTR address = SysAllocString(L"about:blank");
  control_->browser->Navigate(address, nullptr, nullptr, nullptr, nullptr);
  SysFreeString(address);
}

void BrowserView::Timer(UINT_PTR) {
  ComPtr<IDispatch> document;
  control_->browser->get_Document(&document);
  if ((!site_->documentArrived || !document) && site_->Events().noDocument) {
    site_->Events().noDocument();
  }
}

void BrowserView::Place(const RECT& area) {
  MoveWindow(host_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  ComPtr<IOleInPlaceObject> inPlace;
  if (SUCCEEDED(control_->object.As(&inPlace))) {
    RECT inside{0, 0, area.right - area.left, area.bottom - area.top};
    inPlace->SetObjectRects(&inside, &inside);
  }
}

void BrowserView::Show(bool visible) {
  ShowWindow(host_, visible ? SW_SHOW : SW_HIDE);
}

void BrowserView::SelectAll() {
  control_->browser->ExecWB(OLECMDID_SELECTALL, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
}

void BrowserView::Copy() {
  control_->browser->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
}

void BrowserView::PrintPreview(const std::wstring& header, const std::wstring& footer) {
  // The page header and footer go with the command, as a two-element array.
  SAFEARRAY* parts = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  LONG index = 0;
  for (const std::wstring* text : {&header, &footer}) {
    VARIANT part;
    VariantInit(&part);
    part.vt = VT_BSTR;
    part.bstrVal = SysAllocString(text->c_str());
    SafeArrayPutElement(parts, &index, &part);
    VariantClear(&part);
    ++index;
  }
  VARIANT in;
  VariantInit(&in);
  in.vt = VT_ARRAY | VT_VARIANT;
  in.parray = parts;
  control_->browser->ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_DONTPROMPTUSER, &in, nullptr);
  VariantClear(&in);
}

}  // namespace quorvane::win
