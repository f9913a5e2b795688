/* The DLL the program Missing.exe imports from: it has Present only
   (exported undecorated, Lib.def), while the import library the program was
   linked with also promises Absent. */
int __stdcall Present(int x) { return x + 1; }
