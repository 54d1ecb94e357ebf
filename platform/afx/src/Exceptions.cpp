// Framework exceptions and the framework's allocation behaviour.
#include <cstring>

#include "afx/afxwin.h"

// ---- Allocation ---------------------------------------------------------------

const AFX_NEW_TAG afxNew{};

namespace {
AFX_ALLOC_HOOK g_pfnAllocHook = nullptr;
LONG g_lRequestNumber = 0;
}  // namespace

AFX_ALLOC_HOOK AfxSetAllocHook(AFX_ALLOC_HOOK pfnNewHook) {
  AFX_ALLOC_HOOK previous = g_pfnAllocHook;
  g_pfnAllocHook = pfnNewHook;
  return previous;
}

void* AfxAllocMemory(std::size_t nSize) {
  if (g_pfnAllocHook != nullptr && !g_pfnAllocHook(nSize, FALSE, ++g_lRequestNumber)) AfxThrowMemoryException();
  void* p = ::operator new(nSize != 0 ? nSize : 1, std::nothrow);
  if (p == nullptr) AfxThrowMemoryException();
  return p;
}

void AfxFreeMemory(void* p) noexcept { ::operator delete(p); }

void* operator new(std::size_t nSize, const AFX_NEW_TAG&) { return AfxAllocMemory(nSize); }
void* operator new[](std::size_t nSize, const AFX_NEW_TAG&) { return AfxAllocMemory(nSize); }
void operator delete(void* p, const AFX_NEW_TAG&) noexcept { ::operator delete(p); }
void operator delete[](void* p, const AFX_NEW_TAG&) noexcept { ::operator delete(p); }

// ---- Exceptions -------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CSimpleException, CException)
IMPLEMENT_DYNAMIC(CMemoryException, CSimpleException)
IMPLEMENT_DYNAMIC(CNotSupportedException, CSimpleException)
IMPLEMENT_DYNAMIC(CResourceException, CSimpleException)
IMPLEMENT_DYNAMIC(CUserException, CSimpleException)

CException::CException(BOOL bAutoDelete) : m_bAutoDelete(bAutoDelete) {}
CException::~CException() = default;

void CException::Delete() {
  if (m_bAutoDelete > 0) delete this;
}

BOOL CException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext) {
  if (pnHelpContext != nullptr) *pnHelpContext = 0;
  if (lpszError != nullptr && nMaxError > 0) lpszError[0] = '\0';
  return FALSE;
}

int CException::ReportError(UINT nType, UINT nMessageID) {
  char message[512];
  UINT nHelpContext = 0;
  if (GetErrorMessage(message, sizeof message, &nHelpContext)) return AfxMessageBox(message, nType, nHelpContext);
  if (nMessageID == 0) nMessageID = AFX_IDP_NO_ERROR_AVAILABLE;
  return AfxMessageBox(nMessageID, nType, nHelpContext);
}

CSimpleException::CSimpleException(BOOL bAutoDelete, UINT nResourceID)
    : CException(bAutoDelete), m_nResourceID(nResourceID) {}

BOOL CSimpleException::GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext) {
  if (pnHelpContext != nullptr) *pnHelpContext = 0;
  if (lpszError == nullptr || nMaxError == 0) return FALSE;
  lpszError[0] = '\0';
  CString message;
  if (!AfxLoadString(m_nResourceID, message)) return FALSE;
  lstrcpynA(lpszError, message, static_cast<int>(nMaxError));
  return TRUE;
}

CMemoryException::CMemoryException() : CSimpleException(TRUE, AFX_IDS_MEMORY_EXCEPTION) {}
CMemoryException::CMemoryException(BOOL bAutoDelete) : CSimpleException(bAutoDelete, AFX_IDS_MEMORY_EXCEPTION) {}
CNotSupportedException::CNotSupportedException() : CSimpleException(TRUE, AFX_IDS_NOT_SUPPORTED_EXCEPTION) {}
CResourceException::CResourceException() : CSimpleException(TRUE, AFX_IDS_RESOURCE_EXCEPTION) {}
CUserException::CUserException() : CSimpleException(TRUE, AFX_IDS_USER_EXCEPTION) {}

void AfxThrowMemoryException() {
  // Memory is what is missing: the exception is made once, in advance, and
  // Delete() leaves it alone.
  static CMemoryException s_memoryException(FALSE);
  throw static_cast<CMemoryException*>(&s_memoryException);
}

void AfxThrowNotSupportedException() { throw new (afxNew) CNotSupportedException; }
void AfxThrowResourceException() { throw new (afxNew) CResourceException; }
void AfxThrowUserException() { throw new (afxNew) CUserException; }
