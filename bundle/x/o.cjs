/* Tarnwell skin */
/*
 * Tarnwell's own skin: soft grey-blue faces, rounded command buttons, a flat progress bar.
 * Fonts are the window's (Arial bold 9 pt, buttons 11.25 pt); no rule here sets a font.
 * The colours come first, then the metrics section (paddings, borders, radii) and the
 * frame section (the window's background and its frames).
 */

QPushButton {
    color: #14323d;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #f3f7f9, stop: 1 #d6e2e8);
    border-color: #7f9aa6;
}
QPushButton:hover {
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #ffffff, stop: 1 #dcebf0);
    border-color: #2b7f8e;
}
QPushButton:pressed {
    background-color: #c3d6de;
}
QPushButton:focus {
    border-color: #1a7f8c;
}

QProgressBar {
    color: #14323d;
    background-color: #f6f9fa;
    border-color: #8aa3ae;
}
QProgressBar::chunk {
    background-color: #5fb3b3;
}

QPlainTextEdit, QLineEdit, QTreeView, QListView {
    background-color: #ffffff;
    selection-background-color: #2b7f8e;
    selection-color: #ffffff;
}

/* No background here: the window gives labels and option buttons the button face, and a
   style sheet background on an option button would also recolour its indicator. */
QLabel, QRadioButton, QCheckBox {
    color: #14323d;
}

/* [metrics] */
QPushButton {
    border-width: 1px;
    border-style: solid;
    border-radius: 5px;
    padding: 0px 2px;
}
QProgressBar {
    border-width: 1px;
    border-style: solid;
    border-radius: 3px;
    text-align: center;
}
QProgressBar::chunk {
    border-radius: 2px;
    margin: 1px;
}

/* [frame] */
/* The button face, the colour the window gives itself, its frames and their labels. */
QWidget#Form1 {
    background-color: palette(button);
}
QGroupBox {
    background-color: palette(button);
    border: 1px solid #9fb4bd;
    border-radius: 4px;
    margin-top: 8px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 6px;
    padding: 0px 3px;
    color: #1b4f63;
}
