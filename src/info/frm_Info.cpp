#include "info/frm_Info.h"

frm_Info::frm_Info(QWidget *parent) : QWidget(parent)
{}
