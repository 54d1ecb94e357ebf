// The framework's core: objects with run-time class records, exceptions
// thrown by pointer, the framework's allocation behaviour and its string.
#pragma once

#include <cstddef>
#include <new>
#include <string>

#include "afx/afxver.h"
#include "win/windows.h"

class CObject;

// ---- Run-time class records ---------------------------------------------------
// A record per class that declares one: its name, size and base. It answers
// type queries; this framework has no dynamic creation.
struct AFX_API CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;
  CObject* (*m_pfnCreateObject)();
  const CRuntimeClass* m_pBaseClass;

  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

#define RUNTIME_CLASS(class_name) (const_cast<CRuntimeClass*>(&class_name::class##class_name))

#define DECLARE_DYNAMIC(class_name)                  \
 public:                                             \
  static const CRuntimeClass class##class_name;      \
  virtual CRuntimeClass* GetRuntimeClass() const;

#define IMPLEMENT_DYNAMIC(class_name, base_class_name)                                                   \
  const CRuntimeClass class_name::class##class_name = {#class_name, static_cast<int>(sizeof(class_name)), \
                                                       0xFFFF, nullptr,                                   \
                                                       &base_class_name::class##base_class_name};         \
  CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

class AFX_API CObject {
 public:
  static const CRuntimeClass classCObject;
  virtual CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject();

  BOOL IsKindOf(const CRuntimeClass* pClass) const;

  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;

 protected:
  CObject();
};

AFX_API CObject* AfxDynamicDownCast(CRuntimeClass* pClass, CObject* pObject);
#define DYNAMIC_DOWNCAST(class_name, object) \
  (static_cast<class_name*>(AfxDynamicDownCast(RUNTIME_CLASS(class_name), object)))

// ---- Allocation ----------------------------------------------------------------------
// The framework reports an allocation that fails by throwing its memory
// exception (a CMemoryException*), never by returning null. Objects a
// module wants allocated that way are created with `new (afxNew) T(...)`
// and released with a plain `delete`.
struct AFX_NEW_TAG {};
extern AFX_API const AFX_NEW_TAG afxNew;
AFX_API void* operator new(std::size_t nSize, const AFX_NEW_TAG&);
AFX_API void* operator new[](std::size_t nSize, const AFX_NEW_TAG&);
AFX_API void operator delete(void* p, const AFX_NEW_TAG&) noexcept;
AFX_API void operator delete[](void* p, const AFX_NEW_TAG&) noexcept;

// Allocates with the framework's behaviour; release with AfxFreeMemory (or
// ::operator delete).
AFX_API void* AfxAllocMemory(std::size_t nSize);
AFX_API void AfxFreeMemory(void* p) noexcept;

// Sees every framework allocation first; returning FALSE makes it fail (as
// if memory were exhausted). Returns the hook it replaces. For tests.
typedef BOOL (*AFX_ALLOC_HOOK)(std::size_t nSize, BOOL bObject, LONG lRequestNumber);
AFX_API AFX_ALLOC_HOOK AfxSetAllocHook(AFX_ALLOC_HOOK pfnNewHook);

// An allocator for standard containers that allocates the framework's way.
template <class T>
struct AfxAllocator {
  using value_type = T;
  AfxAllocator() noexcept = default;
  template <class U>
  AfxAllocator(const AfxAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(AfxAllocMemory(n * sizeof(T))); }
  void deallocate(T* p, std::size_t) noexcept { AfxFreeMemory(p); }
  template <class U>
  bool operator==(const AfxAllocator<U>&) const noexcept {
    return true;
  }
  template <class U>
  bool operator!=(const AfxAllocator<U>&) const noexcept {
    return false;
  }
};

// ---- Exceptions -----------------------------------------------------------------------
// Framework exceptions are thrown and caught by pointer. Whoever catches one
// releases it with Delete(), which frees heap-allocated exceptions and leaves
// the framework's static ones (the memory exception) alone.
class AFX_API CException : public CObject {
  DECLARE_DYNAMIC(CException)
 public:
  explicit CException(BOOL bAutoDelete = TRUE);
  ~CException() override;

  void Delete();
  // Copies the exception's message into the buffer; FALSE when it has none.
  virtual BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = nullptr);
  // Shows the exception's message in a message box of style nType, or the
  // string nMessageID when it has none (0: a generic text); returns the
  // box's answer.
  virtual int ReportError(UINT nType = MB_OK, UINT nMessageID = 0);

  BOOL m_bAutoDelete;
};

// An exception whose message is a string resource of the framework.
class AFX_API CSimpleException : public CException {
  DECLARE_DYNAMIC(CSimpleException)
 public:
  explicit CSimpleException(BOOL bAutoDelete, UINT nResourceID);
  BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext = nullptr) override;

 protected:
  UINT m_nResourceID;
};

class AFX_API CMemoryException : public CSimpleException {
  DECLARE_DYNAMIC(CMemoryException)
 public:
  CMemoryException();
  explicit CMemoryException(BOOL bAutoDelete);
};

class AFX_API CNotSupportedException : public CSimpleException {
  DECLARE_DYNAMIC(CNotSupportedException)
 public:
  CNotSupportedException();
};

class AFX_API CResourceException : public CSimpleException {
  DECLARE_DYNAMIC(CResourceException)
 public:
  CResourceException();
};

// Ends an operation the user has already been told about (a failed data
// exchange).
class AFX_API CUserException : public CSimpleException {
  DECLARE_DYNAMIC(CUserException)
 public:
  CUserException();
};

// Throws the framework's one static memory exception; it needs no memory.
[[noreturn]] AFX_API void AfxThrowMemoryException();
[[noreturn]] AFX_API void AfxThrowNotSupportedException();
[[noreturn]] AFX_API void AfxThrowResourceException();
[[noreturn]] AFX_API void AfxThrowUserException();

// ---- Strings ---------------------------------------------------------------------------
// The framework's string: UTF-8 text in framework-allocated memory (so that
// exhaustion throws CMemoryException*).
class AFX_API CString {
 public:
  using StringType = std::basic_string<char, std::char_traits<char>, AfxAllocator<char>>;

  CString() = default;
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString(LPCSTR lpsz) : m_str(lpsz != nullptr ? lpsz : "") {}
  CString(LPCSTR lpch, int nLength) : m_str(lpch, static_cast<std::size_t>(nLength > 0 ? nLength : 0)) {}
  CString(char ch, int nRepeat = 1) : m_str(static_cast<std::size_t>(nRepeat > 0 ? nRepeat : 0), ch) {}
  explicit CString(const std::string& text) : m_str(text.data(), text.size()) {}

  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(LPCSTR lpsz) {
    m_str = lpsz != nullptr ? lpsz : "";
    return *this;
  }
  CString& operator=(char ch) {
    m_str.assign(1, ch);
    return *this;
  }

  CString& operator+=(const CString& other) {
    m_str += other.m_str;
    return *this;
  }
  CString& operator+=(LPCSTR lpsz) {
    if (lpsz != nullptr) m_str += lpsz;
    return *this;
  }
  CString& operator+=(char ch) {
    m_str += ch;
    return *this;
  }

  int GetLength() const { return static_cast<int>(m_str.size()); }
  BOOL IsEmpty() const { return m_str.empty() ? TRUE : FALSE; }
  void Empty() { m_str.clear(); }
  char GetAt(int nIndex) const { return m_str.at(static_cast<std::size_t>(nIndex)); }
  char operator[](int nIndex) const { return GetAt(nIndex); }
  void SetAt(int nIndex, char ch) { m_str.at(static_cast<std::size_t>(nIndex)) = ch; }
  operator LPCSTR() const { return m_str.c_str(); }
  LPCSTR GetString() const { return m_str.c_str(); }
  std::string ToStdString() const { return std::string(m_str.data(), m_str.size()); }

  int Compare(LPCSTR lpsz) const { return lstrcmpA(m_str.c_str(), lpsz); }
  int CompareNoCase(LPCSTR lpsz) const { return lstrcmpiA(m_str.c_str(), lpsz); }

  CString Mid(int nFirst) const { return Mid(nFirst, GetLength()); }
  CString Mid(int nFirst, int nCount) const;
  CString Left(int nCount) const { return Mid(0, nCount); }
  CString Right(int nCount) const;
  int Find(char ch, int nStart = 0) const;
  int Find(LPCSTR lpszSub, int nStart = 0) const;
  int Replace(LPCSTR lpszOld, LPCSTR lpszNew);
  void TrimLeft();
  void TrimRight();

  // printf-style formatting.
  void Format(LPCSTR lpszFormat, ...) __attribute__((format(printf, 2, 3)));
  // Loads a string resource: from the current module's resources, then the
  // modules in the framework's resource chain, then the framework's own.
  BOOL LoadString(UINT nID);

  // Direct access for APIs that fill a buffer; ReleaseBuffer(-1) takes the
  // length from the terminating zero.
  LPSTR GetBuffer(int nMinBufLength);
  void ReleaseBuffer(int nNewLength = -1);
  LPSTR GetBufferSetLength(int nNewLength);

 private:
  StringType m_str;
};

AFX_API CString operator+(const CString& a, const CString& b);
AFX_API CString operator+(const CString& a, LPCSTR b);
AFX_API CString operator+(LPCSTR a, const CString& b);
AFX_API CString operator+(const CString& a, char b);
inline bool operator==(const CString& a, const CString& b) { return a.Compare(b) == 0; }
inline bool operator==(const CString& a, LPCSTR b) { return a.Compare(b) == 0; }
inline bool operator==(LPCSTR a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return a.Compare(b) != 0; }
inline bool operator!=(const CString& a, LPCSTR b) { return a.Compare(b) != 0; }
inline bool operator!=(LPCSTR a, const CString& b) { return b.Compare(a) != 0; }
inline bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
