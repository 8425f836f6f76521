#include "config/frm_config.h"

frm_config::frm_config(QWidget *parent) : QWidget(parent)
{}
