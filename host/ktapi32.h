/* The host API of KARTUL as a plug-in sees it.
 *
 * The host ships the library ktapi32 (here libktapi32.so) and every plug-in
 * links against it at load time. Every function is plain C. Texts are
 * zero-terminated 8-bit ANSI (Windows-1252) unless a parameter is declared
 * char16_t, which is UTF-16. Buffers always belong to the caller; the host
 * never keeps a pointer it was given beyond the call. Host truth values are
 * 16-bit: 0 is false, anything else true.
 *
 * The records keep the host's field order and are packed; pointers are
 * native, so on 64-bit Linux they are larger than the host's 32-bit originals.
 */
#ifndef HOST_KTAPI32_H
#define HOST_KTAPI32_H

#include <stdint.h>

#ifdef __cplusplus
#include <uchar.h>
extern "C" {
#else
#include <uchar.h>
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

typedef struct TDoublePoint {
  double x;
  double y;
} TDoublePoint;

/* The signature of every hook a plug-in exports. P1 and P2 carry pointers in
 * several hooks and are therefore pointer-sized; only the low 16 bits of P3
 * count. The answer is 0 (false) or -1 (true). */
typedef int16_t (*TKTHookProc)(intptr_t P1, intptr_t P2, uint16_t P3);

/* Objects, selection and classes. An object id of 0 or less means "none". */
int32_t ktGetActiveGeoObject(void);
KTBool ktSetActiveObject(int32_t id);
KTBool ktAddToSelection(int32_t id);
KTBool ktDeleteObject(int32_t id);
KTBool ktEnsureData(int32_t id);
KTBool ktDeselectAll(void);
KTBool ktBeginUpdate(void);
KTBool ktEndUpdate(void);
KTBool ktRedraw(void);
KTBool ktActivateMap(void);
KTBool ktActivateData(void);
int32_t ktGetNrOfSelectedGeoObjects(void);
int32_t ktGetObjectClass(void);
KTBool ktSetObjectClass(int32_t class_id);
int32_t ktGetClassOf(int32_t id);
KTBool ktGetObjectData(TKTObjectData* data);
KTBool ktGetObjectClassData(TObjectClassData* data);

/* Identifiers. ktSetKennung fires the identifier-change hooks before it
 * returns. */
KTBool ktSetKennung(int32_t id, const char* kennung);
KTBool ktKennungExists(const char* kennung);
int32_t ktGetIDFromKennung(const char* kennung);

/* Interactive creation: the host enters placing mode; the mapper's next
 * placement creates an object of the class under the identifier, which
 * reaches the plug-in through BeforeCreateObject and InsertInTransActionList. */
KTBool ktCreateObjectStart(int32_t class_id, TDrawTyp typ, const char* kennung);
KTBool ktCreateObjectFinish(void);

/* Geometry facts in map units. */
double ktGetObjectRWert(int32_t id);
double ktGetObjectHWert(int32_t id);
double ktGetObjectArea(int32_t id);
KTBool ktGetCursorCoordinates(TDoublePoint* point);

/* Attribute tables by name; the current row follows the active object. */
KTBool ktGetValueByName(const char* table, const char* field, char* buffer, uint16_t size);
KTBool ktSetValueByName(const char* table, const char* field, const char* text);
KTBool ktTableFirst(const char* table);
KTBool ktTableNext(const char* table);
KTBool ktTableEOF(const char* table);
KTBool ktAppendRecord(const char* table);
KTBool ktPostRecord(const char* table);
KTBool ktTableRefresh(const char* table);
KTBool ktDisableControls(const char* table);
KTBool ktEnableControls(const char* table);

/* Folders and databases of the project and the procedure; the path goes into
 * the caller's buffer of the given size. */
KTBool ktGetProjectDir(char* buffer, int32_t size);
KTBool ktGetVerfahrenDir(char* buffer, int32_t size);
KTBool ktGetProjectDB(char* buffer, int32_t size);
KTBool ktGetVerfahrenDB(char* buffer, int32_t size);

/* Calls the export export_name of the already loaded library library_name
 * once per selected object with a TKTObjectData*. */
KTBool ktIterateObjects(KTBool flag, const char* library_name, const char* export_name);

/* Geodata and attribute exchange with files, working on the selection. */
KTBool ktImportGeodaten(const char* file, int32_t mode, int32_t flags);
KTBool ktImportDataXML(const char* file, KTBool flag);
KTBool ktExportGeodaten(const char* file, int32_t mode, KTBool flag, int32_t options);
KTBool ktExportDataXML(const char* file, KTBool flag1, KTBool flag2);
KTBool ktExportDataXMLEx(const char16_t* file, KTBool flag1, KTBool flag2,
                         const char16_t* true_text, const char16_t* false_text);

#ifdef __cplusplus
}
#endif

#endif /* HOST_KTAPI32_H */
