// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pictures that look like whole desktops, with the text drawn on them known: a panel, windows in dark and
// light themes (a code editor with its file list, a terminal, a browser with a side menu, prose and a
// photograph, a file manager, a document, an open menu), a photographic wallpaper, French and English, small
// interface text beside larger prose. Drawn at scale 1 (1920 × 1080) or 2 (3840 × 2160). For the text
// recognition bench and the search end-to-end test.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <random>

namespace DesktopScene {

// A rectangle of one background with lines of text on it, or a photograph.
struct Pane {
    QRect rect; // points
    QColor background;
    QColor ink;
    int pixelSize = 13; // points
    QStringList lines;
    bool monospace = false;
    int lineHeight = 0; // points; 1.6 × the size when 0
    bool photo = false;
};

struct Scene {
    QString name;
    QList<Pane> panes; // painted in order; the truth reads them in that order
};

// A photograph-like picture: smooth colour fields of several sizes with fine grain, the same every time.
inline QImage photograph(QSize size, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    struct Wave {
        double fx, fy, phase, r, g, b;
    };
    QList<Wave> waves;
    for (int i = 0; i < 9; ++i) {
        const double scale = 1.0 + 6.0 * unit(random);
        waves.append(Wave{scale * unit(random) / size.width(), scale * unit(random) / size.height(),
                          6.28 * unit(random), 60 * unit(random), 60 * unit(random), 60 * unit(random)});
    }
    QImage image(size, QImage::Format_RGB32);
    std::normal_distribution<double> grain(0, 6);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            double r = 90, g = 110, b = 100;
            for (const Wave &w : waves) {
                const double s = std::sin(6.28 * (w.fx * x + w.fy * y) + w.phase);
                r += w.r * s;
                g += w.g * s;
                b += w.b * s;
            }
            const double n = grain(random);
            line[x] = qRgb(std::clamp(int(r + n), 0, 255), std::clamp(int(g + n), 0, 255),
                           std::clamp(int(b + n), 0, 255));
        }
    }
    return image;
}

inline QImage render(const Scene &scene, int scale)
{
    QImage image(1920 * scale, 1080 * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    unsigned seed = 7;
    for (const Pane &pane : scene.panes) {
        if (pane.photo) {
            p.drawImage(pane.rect, photograph(pane.rect.size() * scale, seed++));
            continue;
        }
        p.fillRect(pane.rect, pane.background);
        QFont font(pane.monospace ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("DejaVu Sans"));
        font.setPixelSize(pane.pixelSize);
        p.setFont(font);
        p.setPen(pane.ink);
        const int step = pane.lineHeight ? pane.lineHeight : int(std::lround(pane.pixelSize * 1.6));
        for (int i = 0; i < pane.lines.size(); ++i)
            p.drawText(QPoint(pane.rect.left() + 10, pane.rect.top() + step * i + step * 3 / 4 + 4),
                       pane.lines[i]);
    }
    p.end();
    image.setDevicePixelRatio(1);
    return image;
}

// The words as recognition should give them: split at spaces, punctuation around them taken off.
inline QStringList words(const QString &text)
{
    QStringList list;
    static const QRegularExpression space(QStringLiteral("\\s+"));
    static const QRegularExpression edges(QStringLiteral("^[^\\w]+|[^\\w]+$"));
    for (const QString &w : text.split(space, Qt::SkipEmptyParts)) {
        QString clean = w;
        clean.remove(edges);
        if (!clean.isEmpty())
            list << clean;
    }
    return list;
}

inline QStringList words(const Pane &pane)
{
    return words(pane.lines.join(u' '));
}

inline QStringList words(const Scene &scene)
{
    QStringList all;
    for (const Pane &pane : scene.panes)
        all << words(pane);
    return all;
}

// A dark desktop: a panel, a code editor with its file list, a terminal, a light browser window with a side
// menu, prose and a photograph, over a photographic wallpaper.
inline Scene dark()
{
    const QColor panel(32, 32, 36), editor(30, 30, 30), files(37, 37, 38), terminal(12, 12, 16),
        title(60, 60, 64), page(255, 255, 255), menu(243, 243, 245);
    return Scene{
        QStringLiteral("dark"),
        {
            {QRect(0, 28, 1920, 1052), {}, {}, 0, {}, false, 0, true},
            {QRect(0, 0, 1920, 28),
             panel,
             QColor(230, 230, 230),
             13,
             {QStringLiteral("Activités     Fichiers     Terminal     Mardi 8 décembre   09:41")}},
            // The code editor.
            {QRect(20, 48, 900, 26),
             title,
             QColor(220, 220, 220),
             12,
             {QStringLiteral("main.cpp — pim — Éditeur")}},
            {QRect(20, 74, 220, 560),
             files,
             QColor(200, 200, 200),
             13,
             {QStringLiteral("EXPLORATEUR"), QStringLiteral("capture"), QStringLiteral("editor"),
              QStringLiteral("history"), QStringLiteral("output"), QStringLiteral("settings"),
              QStringLiteral("README.md"), QStringLiteral("CMakeLists.txt")},
             false,
             26},
            {QRect(240, 74, 680, 560),
             editor,
             QColor(212, 212, 212),
             13,
             {QStringLiteral("#include <QApplication>"),
              QStringLiteral("#include \"settings/Settings.h\""),
              QStringLiteral(""),
              QStringLiteral("// Lire les réglages avant la fenêtre"),
              QStringLiteral("static Settings load(const QString &path)"),
              QStringLiteral("{"),
              QStringLiteral("    QFile file(path);"),
              QStringLiteral("    if (!file.open(QIODevice::ReadOnly))"),
              QStringLiteral("        return Settings::defaults();"),
              QStringLiteral("    return Settings::parse(file.readAll());"),
              QStringLiteral("}"),
              QStringLiteral(""),
              QStringLiteral("int main(int argc, char **argv)"),
              QStringLiteral("{"),
              QStringLiteral("    QApplication app(argc, argv);"),
              QStringLiteral("    const Settings settings = load(configPath());"),
              QStringLiteral("    MainWindow window(settings);"),
              QStringLiteral("    window.show();"),
              QStringLiteral("    return app.exec();"),
              QStringLiteral("}")},
             true,
             24},
            // Its status bar, small text.
            {QRect(240, 610, 680, 24),
             QColor(0, 122, 204),
             QColor(255, 255, 255),
             11,
             {QStringLiteral("main   Ligne 14, colonne 5   UTF-8   C++")},
             false,
             22},
            // The terminal.
            {QRect(20, 660, 900, 26), title, QColor(220, 220, 220), 12, {QStringLiteral("Terminal")}},
            {QRect(20, 686, 900, 374),
             terminal,
             QColor(200, 230, 200),
             13,
             {QStringLiteral("$ cmake --build build"), QStringLiteral("[ 98%] Linking CXX executable pim"),
              QStringLiteral("[100%] Built target pim"), QStringLiteral("$ ctest --output-on-failure"),
              QStringLiteral("100% tests passed, 0 tests failed out of 41"),
              QStringLiteral("Total Test time (real) = 48.40 sec"), QStringLiteral("$ git status"),
              QStringLiteral("On branch main"), QStringLiteral("nothing to commit, working tree clean"),
              QStringLiteral("$ ls ~/Images"), QStringLiteral("vacances  famille  captures  fonds"),
              QStringLiteral("$ df -h /home"), QStringLiteral("/dev/sda2  234G  120G  103G  54% /home")},
             true,
             24},
            // The browser.
            {QRect(960, 48, 940, 34),
             QColor(222, 222, 226),
             QColor(40, 40, 40),
             13,
             {QStringLiteral("Licence publique générale — Navigateur")}},
            {QRect(960, 82, 200, 960),
             menu,
             QColor(60, 60, 70),
             13,
             {QStringLiteral("Accueil"), QStringLiteral("Documentation"), QStringLiteral("Téléchargements"),
              QStringLiteral("Questions"), QStringLiteral("Contact")},
             false,
             34},
            {QRect(1160, 82, 740, 960),
             page,
             QColor(20, 20, 20),
             22,
             {QStringLiteral("FREE SOFTWARE LICENCE")}},
            {QRect(1160, 130, 740, 40), page, QColor(40, 40, 40), 18, {QStringLiteral("Preamble")}},
            {QRect(1160, 175, 740, 260),
             page,
             QColor(50, 50, 50),
             15,
             {QStringLiteral("The licences for most software are designed to take away"),
              QStringLiteral("your freedom to share and change it. By contrast, this"),
              QStringLiteral("licence is intended to guarantee your freedom to share"),
              QStringLiteral("and change all versions of a program, to make sure it"),
              QStringLiteral("remains free software for all its users.")},
             false,
             26},
            {QRect(1180, 450, 420, 280), {}, {}, 0, {}, false, 0, true},
            {QRect(1160, 745, 740, 200),
             page,
             QColor(50, 50, 50),
             15,
             {QStringLiteral("Quand nous parlons de logiciel libre, nous parlons de"),
              QStringLiteral("liberté et non de prix. Nos licences sont conçues pour"),
              QStringLiteral("que vous puissiez distribuer des copies de ce logiciel.")},
             false,
             26},
        }};
}

// A light desktop: a light panel, a file manager with its side bar, a document, a chat window and an open
// menu, over a photographic wallpaper.
inline Scene light()
{
    const QColor panel(246, 246, 246), side(238, 240, 243), white(255, 255, 255), title(228, 228, 232),
        chat(250, 247, 240), menu(246, 246, 248);
    return Scene{
        QStringLiteral("light"),
        {
            {QRect(0, 30, 1920, 1050), {}, {}, 0, {}, false, 0, true},
            {QRect(0, 0, 1920, 30),
             panel,
             QColor(30, 30, 30),
             13,
             {QStringLiteral("Applications     Emplacements     Lundi 7 décembre   16:05")}},
            // The file manager.
            {QRect(40, 60, 820, 30), title, QColor(30, 30, 30), 13, {QStringLiteral("Documents — Fichiers")}},
            {QRect(40, 90, 200, 480),
             side,
             QColor(50, 50, 60),
             13,
             {QStringLiteral("Récents"), QStringLiteral("Favoris"), QStringLiteral("Dossier personnel"),
              QStringLiteral("Bureau"), QStringLiteral("Images"), QStringLiteral("Corbeille")},
             false,
             30},
            {QRect(240, 90, 620, 480),
             white,
             QColor(30, 30, 30),
             13,
             {QStringLiteral("Nom                          Taille      Modifié"),
              QStringLiteral("budget-2026.ods              24 ko       hier"),
              QStringLiteral("compte-rendu.odt             18 ko       lundi"),
              QStringLiteral("photos-vacances              12 éléments"),
              QStringLiteral("invoice-march.pdf            96 ko       mars"),
              QStringLiteral("notes.txt                    2 ko        aujourd'hui")},
             false,
             30},
            // The chat window, below it.
            {QRect(40, 600, 820, 30), title, QColor(30, 30, 30), 13, {QStringLiteral("Discussion — équipe")}},
            {QRect(40, 630, 820, 400),
             chat,
             QColor(40, 40, 40),
             14,
             {QStringLiteral("Claire: la réunion est déplacée à quinze heures"),
              QStringLiteral("Tom: thanks, I will bring the printed slides"),
              QStringLiteral("Claire: pense aussi au rapport trimestriel"),
              QStringLiteral("Tom: the quarterly report is almost ready"),
              QStringLiteral("Claire: parfait, à tout à l'heure")},
             false,
             34},
            // The document, on the right, with an open menu over its corner, right of its lines.
            {QRect(900, 60, 980, 30),
             title,
             QColor(30, 30, 30),
             13,
             {QStringLiteral("Rapport annuel.odt — Traitement de texte")}},
            {QRect(900, 90, 980, 950),
             white,
             QColor(25, 25, 25),
             16,
             {QStringLiteral("Rapport annuel de l'association"), QStringLiteral(""),
              QStringLiteral("Cette année, l'association a accueilli plus de deux cents"),
              QStringLiteral("nouveaux membres et organisé douze ateliers ouverts à tous."),
              QStringLiteral("Les comptes sont équilibrés et les dons ont augmenté."), QStringLiteral(""),
              QStringLiteral("Annual report summary"),
              QStringLiteral("Membership grew steadily and every workshop was full."),
              QStringLiteral("The board thanks all the volunteers for their time.")},
             false,
             30},
            {QRect(1559, 89, 222, 232), QColor(190, 190, 196), {}, 13, {}},
            {QRect(1560, 90, 220, 230),
             menu,
             QColor(30, 30, 30),
             13,
             {QStringLiteral("Couper"), QStringLiteral("Copier"), QStringLiteral("Coller"),
              QStringLiteral("Tout sélectionner"), QStringLiteral("Rechercher"),
              QStringLiteral("Propriétés")},
             false,
             36},
        }};
}

} // namespace DesktopScene
