/* The host API of KARTUL as a plug-in sees it.
 *
 * The host ships the library ktapi32 (here libktapi32.so) and every plug-in
 * links against it at load time; the plug-in imports so only the functions
 * every build calls, and looks the others up when it needs them, since the
 * KARTUL of another build may lack them (host/LateBound.h). Every function
 * is plain C. Texts are
 * zero-terminated 8-bit ANSI (Windows-1252) unless a parameter is declared
 * char16_t, which is UTF-16. Buffers always belong to the caller; the host
 * never keeps a pointer it was given beyond the call. Host truth values are
 * 16-bit: 0 is false, anything else true.
 *
 * The records keep the host's field order and are packed; pointers are
 * native, so on 64-bit Linux they are larger than the host's 32-bit originals.
 * On 32-bit Windows, the host's own platform, the records must have exactly
 * the host's sizes, which the compiler checks below.
 *
 * KTAPI_CALL is the calling convention of the host's functions: stdcall on
 * 32-bit Windows, where the host's library exports them so (the usual way
 * of such libraries; to be confirmed once against the real host), and the
 * platform's only convention elsewhere. A mismatch would leave the stack
 * off by the arguments' size after every call.
 */
#ifndef HOST_KTAPI32_H
#define HOST_KTAPI32_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#include <uchar.h>
extern "C" {
#else
#include <uchar.h>
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define KTAPI_CALL __attribute__((stdcall))
#else
#define KTAPI_CALL
#endif

typedef int16_t KTBool; /* 0 false, else true */

/* Geometry kind of an object, one byte. */
typedef uint8_t TDrawTyp;
enum {
  ktNone = 0,
  ktMultiPoint = 1,
  ktLinie = 2,
  ktFlaeche = 3,
  ktDecoText = 4,
  ktDecoLinie = 5,
  ktSinglePoint = 6,
  ktGrid = 7,
  ktDivideObject = 8,
  ktMoveObject = 9,
  ktComplex = 10
};

#pragma pack(push, 1)

/* One host object as ktGetObjectData and ktIterateObjects hand it over.
 * The caller sets Id and points Kennung at a buffer of 129 bytes; the host
 * fills in the rest. */
typedef struct TKTObjectData {
  TDrawTyp Typ;
  uint8_t reserved0;
  uint8_t OKLType;
  uint8_t reserved1;
  char* Kennung;
  int32_t Klasse;
  int32_t Id;
} TKTObjectData;

/* The create request of BeforeCreateObject. Kennung holds the identifier the
 * host proposes and receives the one to use (at most maxChar characters plus
 * the terminator); UseDialog 1 lets the host go on with its own identifier
 * handling, 0 means the identifier in the buffer is settled. */
typedef struct TGetNewKennung {
  char* Kennung;
  uint16_t maxChar;
  uint8_t UseDialog;
} TGetNewKennung;

/* Class data of ktGetObjectClassData: the caller sets ClassId and ClassType
 * and gives buffers of 255 (ShortName) and 256 (LongName) bytes. */
typedef struct TObjectClassData {
  int32_t ClassId;
  char* ShortName;
  char* LongName;
  uint8_t ClassType;
} TObjectClassData;

#pragma pack(pop)

/* The host reads and writes these records by offset: a field moved or
 * padded would be read as another. */
#ifdef __cplusplus
#define KTAPI_STATIC_ASSERT static_assert
#else
#define KTAPI_STATIC_ASSERT _Static_assert
#endif
KTAPI_STATIC_ASSERT(sizeof(TDrawTyp) == 1, "TDrawTyp is one byte");
KTAPI_STATIC_ASSERT(sizeof(KTBool) == 2, "host truth values are 16 bits");
KTAPI_STATIC_ASSERT(sizeof(TKTObjectData) == 4 + sizeof(char*) + 8, "TKTObjectData is packed");
KTAPI_STATIC_ASSERT(sizeof(TGetNewKennung) == sizeof(char*) + 3, "TGetNewKennung is packed");
KTAPI_STATIC_ASSERT(sizeof(TObjectClassData) == 5 + 2 * sizeof(char*),
                    "TObjectClassData is packed");
KTAPI_STATIC_ASSERT(offsetof(TKTObjectData, Kennung) == 4 &&
                        offsetof(TKTObjectData, Klasse) == 4 + sizeof(char*) &&
                        offsetof(TKTObjectData, Id) == 8 + sizeof(char*),
                    "TKTObjectData: Typ, reserved0, OKLType, reserved1, Kennung, Klasse, Id");
KTAPI_STATIC_ASSERT(offsetof(TGetNewKennung, maxChar) == sizeof(char*) &&
                        offsetof(TGetNewKennung, UseDialog) == sizeof(char*) + 2,
                    "TGetNewKennung: Kennung, maxChar, UseDialog");
KTAPI_STATIC_ASSERT(offsetof(TObjectClassData, ShortName) == 4 &&
                        offsetof(TObjectClassData, LongName) == 4 + sizeof(char*) &&
                        offsetof(TObjectClassData, ClassType) == 4 + 2 * sizeof(char*),
                    "TObjectClassData: ClassId, ShortName, LongName, ClassType");
#if defined(_WIN32) && !defined(_WIN64)
KTAPI_STATIC_ASSERT(sizeof(TKTObjectData) == 16, "TKTObjectData: the host's 16 bytes");
KTAPI_STATIC_ASSERT(sizeof(TGetNewKennung) == 7, "TGetNewKennung: the host's 7 bytes");
KTAPI_STATIC_ASSERT(sizeof(TObjectClassData) == 13, "TObjectClassData: the host's 13 bytes");
#endif
#undef KTAPI_STATIC_ASSERT

typedef struct TDoublePoint {
  double x;
  double y;
} TDoublePoint;

/* The signature of every hook a plug-in exports. P1 and P2 carry pointers in
 * several hooks and are therefore pointer-sized; only the low 16 bits of P3
 * count. The answer is 0 (false) or -1 (true). The host calls hooks with the
 * same convention as its own functions (stdcall on 32-bit Windows: the hook
 * removes its 12 bytes of arguments). */
typedef int16_t(KTAPI_CALL* TKTHookProc)(intptr_t P1, intptr_t P2, uint16_t P3);

/* Objects, selection and classes. An object id of 0 or less means "none". */
int32_t KTAPI_CALL ktGetActiveGeoObject(void);
KTBool KTAPI_CALL ktSetActiveObject(int32_t id);
KTBool KTAPI_CALL ktAddToSelection(int32_t id);
KTBool KTAPI_CALL ktDeleteObject(int32_t id);
KTBool KTAPI_CALL ktEnsureData(int32_t id);
KTBool KTAPI_CALL ktDeselectAll(void);
KTBool KTAPI_CALL ktBeginUpdate(void);
KTBool KTAPI_CALL ktEndUpdate(void);
KTBool KTAPI_CALL ktRedraw(void);
KTBool KTAPI_CALL ktActivateMap(void);
KTBool KTAPI_CALL ktActivateData(void);
int32_t KTAPI_CALL ktGetNrOfSelectedGeoObjects(void);
int32_t KTAPI_CALL ktGetObjectClass(void);
KTBool KTAPI_CALL ktSetObjectClass(int32_t class_id);
int32_t KTAPI_CALL ktGetClassOf(int32_t id);
KTBool KTAPI_CALL ktGetObjectData(TKTObjectData* data);
KTBool KTAPI_CALL ktGetObjectClassData(TObjectClassData* data);

/* Identifiers. ktSetKennung fires the identifier-change hooks before it
 * returns. */
KTBool KTAPI_CALL ktSetKennung(int32_t id, const char* kennung);
KTBool KTAPI_CALL ktKennungExists(const char* kennung);
int32_t KTAPI_CALL ktGetIDFromKennung(const char* kennung);

/* Interactive creation: the host enters placing mode; the mapper's next
 * placement creates an object of the class under the identifier, which
 * reaches the plug-in through BeforeCreateObject and InsertInTransActionList. */
KTBool KTAPI_CALL ktCreateObjectStart(int32_t class_id, TDrawTyp typ, const char* kennung);
KTBool KTAPI_CALL ktCreateObjectFinish(void);

/* Geometry facts in map units. */
double KTAPI_CALL ktGetObjectRWert(int32_t id);
double KTAPI_CALL ktGetObjectHWert(int32_t id);
double KTAPI_CALL ktGetObjectArea(int32_t id);
KTBool KTAPI_CALL ktGetCursorCoordinates(TDoublePoint* point);

/* Attribute tables by name; the current row follows the active object. */
KTBool KTAPI_CALL ktGetValueByName(const char* table, const char* field, char* buffer,
                                   uint16_t size);
KTBool KTAPI_CALL ktSetValueByName(const char* table, const char* field, const char* text);
KTBool KTAPI_CALL ktTableFirst(const char* table);
KTBool KTAPI_CALL ktTableNext(const char* table);
KTBool KTAPI_CALL ktTableEOF(const char* table);
KTBool KTAPI_CALL ktAppendRecord(const char* table);
KTBool KTAPI_CALL ktPostRecord(const char* table);
KTBool KTAPI_CALL ktTableRefresh(const char* table);
KTBool KTAPI_CALL ktDisableControls(const char* table);
KTBool KTAPI_CALL ktEnableControls(const char* table);

/* Folders and databases of the project and the procedure; the path goes into
 * the caller's buffer of the given size. */
KTBool KTAPI_CALL ktGetProjectDir(char* buffer, int32_t size);
KTBool KTAPI_CALL ktGetVerfahrenDir(char* buffer, int32_t size);
KTBool KTAPI_CALL ktGetProjectDB(char* buffer, int32_t size);
KTBool KTAPI_CALL ktGetVerfahrenDB(char* buffer, int32_t size);

/* Calls the export export_name of the already loaded library library_name
 * once per selected object with a TKTObjectData*. */
KTBool KTAPI_CALL ktIterateObjects(KTBool flag, const char* library_name, const char* export_name);

/* Geodata and attribute exchange with files, working on the selection. */
KTBool KTAPI_CALL ktImportGeodaten(const char* file, int32_t mode, int32_t flags);
KTBool KTAPI_CALL ktImportDataXML(const char* file, KTBool flag);
KTBool KTAPI_CALL ktExportGeodaten(const char* file, int32_t mode, KTBool flag, int32_t options);
KTBool KTAPI_CALL ktExportDataXML(const char* file, KTBool flag1, KTBool flag2);
KTBool KTAPI_CALL ktExportDataXMLEx(const char16_t* file, KTBool flag1, KTBool flag2,
                                    const char16_t* true_text, const char16_t* false_text);

#ifdef __cplusplus
}
#endif

#endif /* HOST_KTAPI32_H */
