#pragma once

// The command ids of the menu, the buttons and the keys. They are the ids the
// studio has always used, so that menus, buttons and keys share one command.
namespace cmd {
constexpr int About = 104;
constexpr int Exit = 105;
constexpr int New = 32771;
constexpr int Open = 32772;
constexpr int Save = 32773;
constexpr int Cut = 32774;
constexpr int Copy = 32775;
constexpr int Paste = 32776;
constexpr int HelpIndex = 32777;
constexpr int Play = 32778;
constexpr int Record = 32779;
constexpr int Stop = 32780;
constexpr int InsertTracer = 32781;
constexpr int InsertScene = 32782;
constexpr int InsertCamera = 32783;
constexpr int InsertLight = 32784;
constexpr int InsertFrame = 32785;
constexpr int InsertMesh = 32786;
constexpr int InsertMaterial = 32787;
constexpr int InsertInterpolation = 32788;
constexpr int ParseOnly = 32789;
constexpr int InsertAnimation = 32790;
constexpr int Undo = 32791;
constexpr int SaveAs = 32792;
constexpr int InsertCube = 32794;
constexpr int InsertSphere = 32795;
constexpr int InsertCylinder = 32796;
constexpr int InsertCone = 32797;
constexpr int InsertParaboloid = 32798;
constexpr int InsertHyperboloid = 32799;
constexpr int InsertPlane = 32800;
constexpr int InsertUnion = 32806;
constexpr int InsertIntersection = 32807;
constexpr int InsertDifference = 32808;
constexpr int InsertDefine = 32809;
constexpr int HelpContext = 32810;
constexpr int InsertQuadric = 32812;
constexpr int InsertLoop = 32813;
constexpr int TestPicture = 32818;
// The commands of the studio's later menus and keys.
constexpr int Redo = 32830;
constexpr int Find = 32831;
constexpr int FindNext = 32832;
constexpr int Replace = 32833;
constexpr int GoToLine = 32834;
constexpr int ZoomIn = 32835;
constexpr int ZoomOut = 32836;
constexpr int SavePicture = 32837;
constexpr int SeparateTraceWindow = 32838;
constexpr int FitPicture = 32839;
constexpr int ProportionalFont = 32840;
constexpr int LivePreview = 32841;
constexpr int PreviewSizeFull = 32842;
constexpr int PreviewSizeHalf = 32843;
constexpr int PreviewSizeQuarter = 32844;
constexpr int ThemeSystem = 32845;
constexpr int ThemeLight = 32846;
constexpr int ThemeDark = 32847;
constexpr int ShowBlockAtCaret = 32860;
constexpr int NextError = 32861;
constexpr int PreviousError = 32862;
// The File menu's popup of recent files; its items are RecentFile + 0..7.
constexpr int RecentFiles = 32850;
constexpr int RecentFile = 32851;
constexpr int kRecentFileCount = 8;
// The editor's own id; its notifications are no commands.
constexpr int Editor = 32900;
}  // namespace cmd
