// SPDX-License-Identifier: GPL-3.0-or-later
// The windows that exist once for the whole run, created at start-up in a
// fixed order and reached through these pointers (null before CreateForms and
// after DestroyForms).
#pragma once

class TMainForm;
class TAboutBox;
class TGMCPanel;
class TGMM;
class TEDG;
class TBLUR;
class TComaCorrect;
class TTitle;
class TSabachie;
class TRGBComp;
class TState;
class TComposite;
class TTilt;
class TAdvance;
class TImgPanel;
class TSpDraw;

extern TMainForm* MainForm;
extern TAboutBox* AboutBox;
extern TGMCPanel* GMCPanel;
extern TGMM* GMM;
extern TEDG* EDG;
extern TBLUR* BLUR;
extern TComaCorrect* ComaCorrect;
extern TTitle* Title;
extern TSabachie* Sabachie;
extern TRGBComp* RGBComp;
extern TState* State;
extern TComposite* Composite;
extern TTilt* Tilt;
extern TAdvance* Advance;
extern TImgPanel* ImgPanel;
extern TSpDraw* SpDraw;

// Creates the main window, then every other form hidden and owned by it, in
// this order: AboutBox, GMCPanel, GMM, EDG, BLUR, ComaCorrect, Title, Sabachie,
// RGBComp, State, Composite, Tilt, Advance, ImgPanel, SpDraw. Only closing the
// main window ends the program; an open spectrum or composition window does
// not keep it running. Then RGBComp gets the main window as its host and
// Advance as its advanced dialog, and becomes the target of star clicks.
void CreateForms();
// Deletes the main window and with it every form; the pointers become null.
void DestroyForms();
