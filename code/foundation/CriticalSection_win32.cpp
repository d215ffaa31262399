// CriticalSection over a Windows critical section.
#include "CriticalSection.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= 64, "CriticalSection storage too small");

static CRITICAL_SECTION* Native(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

CriticalSection::CriticalSection() { InitializeCriticalSection(Native(storage_)); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(Native(storage_)); }
void CriticalSection::Enter() { EnterCriticalSection(Native(storage_)); }
void CriticalSection::Leave() { LeaveCriticalSection(Native(storage_)); }
