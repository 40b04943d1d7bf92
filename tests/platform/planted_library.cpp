// A DLL planted under a system library's name where a search by name would
// find it first. Its one export tells it apart from the real library.
extern "C" __declspec(dllexport) int QlxPlantedLibrary() { return 1; }
