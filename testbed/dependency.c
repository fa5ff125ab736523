/* Two libraries for the tests of the loader's search order: dependent.dll
   imports the entry of dependency.dll, which the loader has to find. */
#ifdef DEPENDENT
__declspec(dllimport) int DependencyValue(void);
__declspec(dllexport) int DependentValue(void) {
  return DependencyValue();
}
#else
__declspec(dllexport) int DependencyValue(void) {
  return 7;
}
#endif
