#include "info/frm_Help.h"

frm_Help::frm_Help(QWidget *parent) : QWidget(parent)
{}
