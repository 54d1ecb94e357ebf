// The framework's string.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "afx/afxwin.h"

CString CString::Mid(int nFirst, int nCount) const {
  if (nFirst < 0) nFirst = 0;
  if (nCount < 0) nCount = 0;
  auto first = static_cast<std::size_t>(nFirst);
  if (first >= m_str.size()) return CString();
  CString result;
  result.m_str = m_str.substr(first, static_cast<std::size_t>(nCount));
  return result;
}

CString CString::Right(int nCount) const {
  if (nCount <= 0) return CString();
  if (nCount >= GetLength()) return *this;
  return Mid(GetLength() - nCount, nCount);
}

int CString::Find(char ch, int nStart) const {
  if (nStart < 0 || static_cast<std::size_t>(nStart) > m_str.size()) return -1;
  std::size_t at = m_str.find(ch, static_cast<std::size_t>(nStart));
  return at == StringType::npos ? -1 : static_cast<int>(at);
}

int CString::Find(LPCSTR lpszSub, int nStart) const {
  if (lpszSub == nullptr || nStart < 0 || static_cast<std::size_t>(nStart) > m_str.size()) return -1;
  std::size_t at = m_str.find(lpszSub, static_cast<std::size_t>(nStart));
  return at == StringType::npos ? -1 : static_cast<int>(at);
}

int CString::Replace(LPCSTR lpszOld, LPCSTR lpszNew) {
  if (lpszOld == nullptr || *lpszOld == '\0') return 0;
  std::size_t oldLength = std::strlen(lpszOld);
  const char* replacement = lpszNew != nullptr ? lpszNew : "";
  std::size_t newLength = std::strlen(replacement);
  int count = 0;
  for (std::size_t at = m_str.find(lpszOld); at != StringType::npos; at = m_str.find(lpszOld, at + newLength)) {
    m_str.replace(at, oldLength, replacement);
    ++count;
  }
  return count;
}

void CString::TrimLeft() {
  std::size_t first = m_str.find_first_not_of(" \t\r\n");
  m_str.erase(0, first == StringType::npos ? m_str.size() : first);
}

void CString::TrimRight() {
  std::size_t last = m_str.find_last_not_of(" \t\r\n");
  m_str.erase(last == StringType::npos ? 0 : last + 1);
}

void CString::Format(LPCSTR lpszFormat, ...) {
  va_list args;
  va_start(args, lpszFormat);
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(nullptr, 0, lpszFormat, measure);
  va_end(measure);
  if (length < 0) {
    va_end(args);
    m_str.clear();
    return;
  }
  StringType formatted(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(&formatted[0], formatted.size(), lpszFormat, args);
  va_end(args);
  formatted.resize(static_cast<std::size_t>(length));
  m_str = std::move(formatted);
}

BOOL CString::LoadString(UINT nID) { return AfxLoadString(nID, *this); }

LPSTR CString::GetBuffer(int nMinBufLength) {
  if (nMinBufLength > GetLength()) m_str.resize(static_cast<std::size_t>(nMinBufLength));
  return &m_str[0];
}

void CString::ReleaseBuffer(int nNewLength) {
  if (nNewLength < 0) nNewLength = static_cast<int>(std::strlen(m_str.c_str()));
  m_str.resize(static_cast<std::size_t>(nNewLength));
}

LPSTR CString::GetBufferSetLength(int nNewLength) {
  m_str.resize(static_cast<std::size_t>(nNewLength > 0 ? nNewLength : 0));
  return &m_str[0];
}

CString operator+(const CString& a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(const CString& a, LPCSTR b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(LPCSTR a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}

CString operator+(const CString& a, char b) {
  CString result(a);
  result += b;
  return result;
}
