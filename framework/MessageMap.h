#pragma once
// Runtime class records and message maps. A message map is a static table of
// (message, notification code, control or command id, handler) entries; each
// class's table points at its base class's table, and dispatch walks from the
// most derived table up. Handlers are reached through small type-safe thunks
// that the ON_... macros build, so a handler of the wrong signature does not
// compile and no member-function pointer is ever cast.

#include <windows.h>

class CObject;

// Dynamic type information: the class name, the base class's record and, for
// classes that allow dynamic creation, a factory of a default-constructed object.
struct CRuntimeClass {
  const char* m_lpszClassName;
  int m_nObjectSize;
  CObject* (*m_pfnCreateObject)();
  const CRuntimeClass* m_pBaseClass;

  // Null when the class does not allow dynamic creation.
  CObject* CreateObject() const;
  bool IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

class CObject {
public:
  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const;
  bool IsKindOf(const CRuntimeClass* pClass) const;

  static const CRuntimeClass classCObject;

protected:
  CObject() = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name) \
public:                               \
  static const CRuntimeClass class##class_name; \
  const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

#define IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, pfnNew)                                 \
  const CRuntimeClass class_name::class##class_name = {#class_name, static_cast<int>(sizeof(class_name)), \
                                                       pfnNew, RUNTIME_CLASS(base_class_name)};       \
  const CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                    \
  CObject* class_name::CreateObject() { return new class_name; }            \
  IMPLEMENT_RUNTIMECLASS_(class_name, base_class_name, &class_name::CreateObject)

class CCmdTarget;

// One message-map entry. The thunk calls the handler and returns true when the
// message counts as handled; *pResult is the message's result for the window.
typedef bool (*AFX_MSG_THUNK)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // window message (WM_COMMAND, WM_NOTIFY, WM_TIMER, ...); 0 ends the table
  UINT nCode;     // notification code of WM_COMMAND / WM_NOTIFY, else 0
  UINT nID;       // first control or command id (WM_COMMAND / WM_NOTIFY only)
  UINT nLastID;   // last id of the range, == nID for a single id
  AFX_MSG_THUNK pfnThunk;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();  // null for the root table
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// The root of every class that owns a message map.
class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)
public:
  // The most derived class's table.
  virtual const AFX_MSGMAP* GetMessageMap() const;
  static const AFX_MSGMAP* GetThisMessageMap();

  // Looks the message up in the maps, most derived first, and calls the first
  // matching handler. Returns true when a handler took the message.
  bool DispatchMessageMap(UINT nMessage, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  // The entry that would take the message, or null.
  static const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* pMap, UINT nMessage, WPARAM wParam, LPARAM lParam);
  // Whether the maps have a handler for menu command nID.
  bool HasCommandHandler(UINT nID) const;
};

#define DECLARE_MESSAGE_MAP()                    \
protected:                                       \
  static const AFX_MSGMAP* GetThisMessageMap();  \
  const AFX_MSGMAP* GetMessageMap() const override;

// The table lives in a function-level static built from constant thunks; the
// typedefs give the ON_... macros the class whose members they name.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                         \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }    \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                    \
    typedef theClass ThisClass [[maybe_unused]];                                       \
    typedef baseClass TheBaseClass;                                                    \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                      \
      {0, 0, 0, 0, nullptr}};                                                  \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                        \
  }

#define AFX_THUNK_(body)                                                                           \
  [](CCmdTarget* pTarget_, WPARAM wParam_, LPARAM lParam_, LRESULT* pResult_) -> bool {            \
    ThisClass* pThis_ = static_cast<ThisClass*>(pTarget_);                                         \
    (void)pThis_; (void)wParam_; (void)lParam_; (void)pResult_;                                    \
    body                                                                                           \
  }

// WM_COMMAND from a menu or accelerator (code 0) or any code of a control: void handler().
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id), AFX_THUNK_(pThis_->memberFxn(); *pResult_ = 0; return true;)},
#define ON_COMMAND_RANGE(idFirst, idLast, memberFxn)                                  \
  {WM_COMMAND, 0, static_cast<UINT>(idFirst), static_cast<UINT>(idLast),                \
   AFX_THUNK_(pThis_->memberFxn(LOWORD(wParam_)); *pResult_ = 0; return true;)},
#define ON_CONTROL(code, id, memberFxn) \
  {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), AFX_THUNK_(pThis_->memberFxn(); *pResult_ = 0; return true;)},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)

// WM_NOTIFY: void handler(NMHDR* pNotify, LRESULT* pResult); *pResult becomes the
// notification's result (the framework stores it where the window needs it).
#define ON_NOTIFY(code, id, memberFxn)                                                        \
  {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id),          \
   AFX_THUNK_(*pResult_ = 0; pThis_->memberFxn(reinterpret_cast<NMHDR*>(lParam_), pResult_); return true;)},

// WM_NOTIFY from any control in [idFirst, idLast]: void handler(UINT nID, NMHDR*, LRESULT*).
#define ON_NOTIFY_RANGE(code, idFirst, idLast, memberFxn)                                              \
  {WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(idFirst), static_cast<UINT>(idLast),           \
   AFX_THUNK_(*pResult_ = 0; NMHDR* pHdr_ = reinterpret_cast<NMHDR*>(lParam_);                         \
              pThis_->memberFxn(static_cast<UINT>(pHdr_->idFrom), pHdr_, pResult_); return true;)},

// WM_TIMER: void OnTimer(UINT_PTR nIDEvent).
#define ON_WM_TIMER() \
  {WM_TIMER, 0, 0, 0, AFX_THUNK_(*pResult_ = 0; pThis_->OnTimer(static_cast<UINT_PTR>(wParam_)); return true;)},
// WM_DESTROY: void OnDestroy().
#define ON_WM_DESTROY() \
  {WM_DESTROY, 0, 0, 0, AFX_THUNK_(*pResult_ = 0; pThis_->OnDestroy(); return true;)},
// WM_SIZE: void OnSize(UINT nType, int cx, int cy).
#define ON_WM_SIZE()                                                                         \
  {WM_SIZE, 0, 0, 0, AFX_THUNK_(*pResult_ = 0;                                               \
                                pThis_->OnSize(static_cast<UINT>(wParam_), LOWORD(lParam_), HIWORD(lParam_)); \
                                return true;)},
// Any other message: LRESULT handler(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) \
  {static_cast<UINT>(message), 0, 0, 0, AFX_THUNK_(*pResult_ = pThis_->memberFxn(wParam_, lParam_); return true;)},
