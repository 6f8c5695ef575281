// The delay-load helper of our programs: binds a delay-loaded system function
// at its first call, loading its DLL from the system folder only, whatever the
// DLL search order of the moment. It replaces MinGW's; it reads both forms of
// descriptor (offsets from the image base, and the older addresses). A DLL or
// function that cannot be found raises the delay-load exception that
// Microsoft's helper raises (the program ends with that code).
#include <windows.h>

#include <delayimp.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// A descriptor field or name-table entry: an offset from the image base, or
// (in the older form) an address.
template <typename T>
T* at(ULONG_PTR value) {
  const auto base = reinterpret_cast<ULONG_PTR>(&__ImageBase);
  return reinterpret_cast<T*>(value >= base ? value : base + value);
}

[[noreturn]] void fail(DWORD code) {
  RaiseException(VcppException(ERROR_SEVERITY_ERROR, code), 0, 0, nullptr);
  ExitProcess(code);
}

}  // namespace

extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot) {
  HMODULE* module = at<HMODULE>(descriptor->rvaHmod);
  if (*module == nullptr) {
    const HMODULE loaded = LoadLibraryExA(at<const char>(descriptor->rvaDLLName), nullptr,
                                          LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (loaded == nullptr) fail(ERROR_MOD_NOT_FOUND);
    if (InterlockedCompareExchangePointer(reinterpret_cast<void**>(module), loaded, nullptr) !=
        nullptr) {
      FreeLibrary(loaded);
    }
  }
  const auto* first = at<IMAGE_THUNK_DATA>(descriptor->rvaIAT);
  const IMAGE_THUNK_DATA& name =
      at<IMAGE_THUNK_DATA>(descriptor->rvaINT)[reinterpret_cast<IMAGE_THUNK_DATA*>(slot) - first];
  const char* function =
      IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)
          ? MAKEINTRESOURCEA(IMAGE_ORDINAL(name.u1.Ordinal))
          : reinterpret_cast<const char*>(at<IMAGE_IMPORT_BY_NAME>(name.u1.AddressOfData)->Name);
  const FARPROC address = GetProcAddress(*module, function);
  if (address == nullptr) fail(ERROR_PROC_NOT_FOUND);
  *slot = address;
  return address;
}
