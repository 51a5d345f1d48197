#pragma once
// Puts the Direct registers and EDS pages into the main window.

class MainWindow;
class DirectRegistersPage;
class EdsPage;

struct BissPages {
    DirectRegistersPage* direct = nullptr;
    EdsPage* eds = nullptr;
};

BissPages InstallBissPages(MainWindow& window);
