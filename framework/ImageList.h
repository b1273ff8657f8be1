#pragma once
// CImageList: owns one HIMAGELIST and destroys it. Move-only; Attach/Detach pass
// ownership in and out. A control given the list only borrows it (list views
// need LVS_SHAREIMAGELISTS for that).

#include <windows.h>
#include <commctrl.h>

class CImageList {
public:
  CImageList() = default;
  explicit CImageList(HIMAGELIST hImageList) : m_hImageList(hImageList) {}
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;
  CImageList(CImageList&& other) noexcept : m_hImageList(other.Detach()) {}
  CImageList& operator=(CImageList&& other) noexcept;
  ~CImageList() { DeleteImageList(); }

  // Creates an empty list (flags ILC_COLOR32 | ILC_MASK and the like); FALSE on failure.
  BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
  BOOL DeleteImageList();
  void Attach(HIMAGELIST hImageList);
  HIMAGELIST Detach();

  HIMAGELIST GetSafeHandle() const { return m_hImageList; }
  operator HIMAGELIST() const { return m_hImageList; }
  int GetImageCount() const { return m_hImageList ? ImageList_GetImageCount(m_hImageList) : 0; }

  // Appends an icon (copied into the list); the new image's index or -1.
  int Add(HICON hIcon) { return m_hImageList ? ImageList_AddIcon(m_hImageList, hIcon) : -1; }
  // Appends icon nIDIcon of the current resource handle at the list's image size;
  // the new index or -1 when the icon cannot be loaded.
  int AddResourceIcon(UINT nIDIcon);

private:
  HIMAGELIST m_hImageList = nullptr;
};
