// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ui/Forms.h"

#include "app/ui/StarPickTarget.h"
#include "app/ui/TAboutBox.h"
#include "app/ui/TImgPanel.h"
#include "app/ui/TMainForm.h"
#include "app/ui/TState.h"
#include "app/ui/TTilt.h"
#include "app/ui/TTitle.h"
#include "display/ui/TGMM.h"
#include "display/ui/TSabachie.h"
#include "filters/ui/TBLUR.h"
#include "filters/ui/TComaCorrect.h"
#include "filters/ui/TEDG.h"
#include "filters/ui/TGMCPanel.h"
#include "stack/ui/TComposite.h"
#include "stack/ui/TSpDraw.h"
#include "tricolour/ui/TAdvance.h"
#include "tricolour/ui/TRGBComp.h"

TMainForm* MainForm = nullptr;
TAboutBox* AboutBox = nullptr;
TGMCPanel* GMCPanel = nullptr;
TGMM* GMM = nullptr;
TEDG* EDG = nullptr;
TBLUR* BLUR = nullptr;
TComaCorrect* ComaCorrect = nullptr;
TTitle* Title = nullptr;
TSabachie* Sabachie = nullptr;
TRGBComp* RGBComp = nullptr;
TState* State = nullptr;
TComposite* Composite = nullptr;
TTilt* Tilt = nullptr;
TAdvance* Advance = nullptr;
TImgPanel* ImgPanel = nullptr;
TSpDraw* SpDraw = nullptr;

namespace {

template <typename Form>
Form* CreateForm(Form*& global) {
  global = new Form(MainForm);
  global->hide();
  global->setAttribute(Qt::WA_QuitOnClose, false);
  return global;
}

}  // namespace

void CreateForms() {
  MainForm = new TMainForm();
  CreateForm(AboutBox);
  CreateForm(GMCPanel);
  CreateForm(GMM);
  CreateForm(EDG);
  CreateForm(BLUR);
  CreateForm(ComaCorrect);
  CreateForm(Title);
  CreateForm(Sabachie);
  CreateForm(RGBComp);
  CreateForm(State);
  CreateForm(Composite);
  CreateForm(Tilt);
  CreateForm(Advance);
  CreateForm(ImgPanel);
  CreateForm(SpDraw);
  // The composition dialog is handed what it works with, rather than reaching
  // for these pointers, and receives the clicks in image windows.
  RGBComp->SetHost(MainForm);
  RGBComp->SetAdvance(Advance);
  SetStarPickTarget(RGBComp);
}

void DestroyForms() {
  delete MainForm;  // owns the others
  MainForm = nullptr;
  AboutBox = nullptr;
  GMCPanel = nullptr;
  GMM = nullptr;
  EDG = nullptr;
  BLUR = nullptr;
  ComaCorrect = nullptr;
  Title = nullptr;
  Sabachie = nullptr;
  RGBComp = nullptr;
  State = nullptr;
  Composite = nullptr;
  Tilt = nullptr;
  Advance = nullptr;
  ImgPanel = nullptr;
  SpDraw = nullptr;
}
