#include "app/menu_table.h"

#include "app/commands.h"

const std::vector<MenuNode>& main_menu() {
    static const std::vector<MenuNode> menu = {
        {"&File",
         0,
         {{"&New\tCtrl+N", cmd::New, {}},
          {"&Open...\tCtrl+O", cmd::Open, {}},
          {"&Save\tCtrl+S", cmd::Save, {}},
          {"Save &As...\tCtrl+Shift+S", cmd::SaveAs, {}},
          {"Save &Picture...\tCtrl+Shift+E", cmd::SavePicture, {}},
          {"", 0, {}},
          {"Recent &Files", cmd::RecentFiles, {}},
          {"", 0, {}},
          {"E&xit", cmd::Exit, {}}}},
        {"&Edit",
         0,
         {{"C&ut", cmd::Cut, {}},
          {"&Copy", cmd::Copy, {}},
          {"&Paste", cmd::Paste, {}},
          {"&Undo", cmd::Undo, {}},
          {"&Redo\tCtrl+Y", cmd::Redo, {}},
          {"", 0, {}},
          {"&Find...\tCtrl+F", cmd::Find, {}},
          {"Find &Next\tF3", cmd::FindNext, {}},
          {"R&eplace...\tCtrl+H", cmd::Replace, {}},
          {"&Go to Line...\tCtrl+G", cmd::GoToLine, {}}}},
        {"&View",
         0,
         {{"&Separate Trace Window", cmd::SeparateTraceWindow, {}},
          {"&Fit Picture", cmd::FitPicture, {}},
          {"&Live Preview\tCtrl+L", cmd::LivePreview, {}},
          {"Preview Si&ze",
           0,
           {{"&Full", cmd::PreviewSizeFull, {}},
            {"&1/2", cmd::PreviewSizeHalf, {}},
            {"1/&4", cmd::PreviewSizeQuarter, {}}}},
          {"", 0, {}},
          {"Zoom &In\tCtrl++", cmd::ZoomIn, {}},
          {"Zoom &Out\tCtrl+-", cmd::ZoomOut, {}},
          {"&Proportional Font", cmd::ProportionalFont, {}},
          {"T&heme",
           0,
           {{"&System", cmd::ThemeSystem, {}},
            {"&Light", cmd::ThemeLight, {}},
            {"&Dark", cmd::ThemeDark, {}}}}}},
        {"&Insert",
         0,
         {{"&Animation", cmd::InsertAnimation, {}},
          {"&Tracer", cmd::InsertTracer, {}},
          {"&Scene", cmd::InsertScene, {}},
          {"&Camera", cmd::InsertCamera, {}},
          {"&Light", cmd::InsertLight, {}},
          {"&Frame", cmd::InsertFrame, {}},
          {"Mat&erial", cmd::InsertMaterial, {}},
          {"&Define", cmd::InsertDefine, {}},
          {"&Interpolation", cmd::InsertInterpolation, {}},
          {"Loo&p", cmd::InsertLoop, {}},
          {"&Objects",
           0,
           {{"C&ube", cmd::InsertCube, {}},
            {"&Plane", cmd::InsertPlane, {}},
            {"&Sphere", cmd::InsertSphere, {}},
            {"&Cylinder", cmd::InsertCylinder, {}},
            {"C&one", cmd::InsertCone, {}},
            {"P&araboloid", cmd::InsertParaboloid, {}},
            {"&Hyperboloid", cmd::InsertHyperboloid, {}},
            {"&Quadric", cmd::InsertQuadric, {}},
            {"&Mesh", cmd::InsertMesh, {}}}},
          {"CS&G",
           0,
           {{"&Union", cmd::InsertUnion, {}},
            {"&Intersection", cmd::InsertIntersection, {}},
            {"&Difference", cmd::InsertDifference, {}}}}}},
        {"&Trace",
         0,
         {{"P&arse Only  F4", cmd::ParseOnly, {}},
          {"&Play  F5", cmd::Play, {}},
          {"&Record", cmd::Record, {}},
          {"&Stop  F7", cmd::Stop, {}}}},
        {"&Help",
         0,
         {{"&Index ...", cmd::HelpIndex, {}},
          {"&Context ... F1", cmd::HelpContext, {}},
          {"&About ...", cmd::About, {}}}},
    };
    return menu;
}

bool is_checkable_command(int id) {
    return id == cmd::SeparateTraceWindow || id == cmd::FitPicture || id == cmd::ProportionalFont ||
           id == cmd::LivePreview || id == cmd::PreviewSizeFull || id == cmd::PreviewSizeHalf ||
           id == cmd::PreviewSizeQuarter || id == cmd::ThemeSystem || id == cmd::ThemeLight ||
           id == cmd::ThemeDark;
}

const std::vector<Accelerator>& accelerator_table() {
    static const std::vector<Accelerator> table = {
        {"F1", cmd::HelpContext},
        {"F4", cmd::ParseOnly},
        {"F5", cmd::Play},
        {"F7", cmd::Stop},
        {"Alt+/", cmd::About},
        {"Alt+?", cmd::About},
        {"Ctrl+F10", cmd::TestPicture},
        {"Ctrl+N", cmd::New},
        {"Ctrl+O", cmd::Open},
        {"Ctrl+S", cmd::Save},
        {"Ctrl+Shift+S", cmd::SaveAs},
        {"Ctrl+Shift+E", cmd::SavePicture},
        {"Ctrl+Y", cmd::Redo},
        {"Ctrl+Shift+Z", cmd::Redo},
        {"Ctrl+F", cmd::Find},
        {"F3", cmd::FindNext},
        {"Ctrl+H", cmd::Replace},
        {"Ctrl+G", cmd::GoToLine},
        {"Ctrl+L", cmd::LivePreview},
        {"Ctrl++", cmd::ZoomIn},
        {"Ctrl+=", cmd::ZoomIn},
        {"Ctrl+-", cmd::ZoomOut},
        {"Ctrl+W", cmd::Exit},
    };
    return table;
}

const std::vector<ToolButtonSpec>& tool_buttons() {
    static const std::vector<ToolButtonSpec> buttons = {
        {"&N", "New", 0, false, cmd::New, ":/icons/new.svg"},
        {"&O", "Open", 32, false, cmd::Open, ":/icons/open.svg"},
        {"&S", "Save", 64, false, cmd::Save, ":/icons/save.svg"},
        {"&U", "Cut", 100, false, cmd::Cut, ":/icons/cut.svg"},
        {"&C", "Copy", 132, false, cmd::Copy, ":/icons/copy.svg"},
        {"&P", "Paste", 164, false, cmd::Paste, ":/icons/paste.svg"},
        {"", "Play (F5)", 200, true, cmd::Play, ":/icons/play.svg"},
        {"", "Record", 232, true, cmd::Record, ":/icons/record.svg"},
        {"", "Stop (F7)", 264, true, cmd::Stop, ":/icons/stop.svg"},
    };
    return buttons;
}
