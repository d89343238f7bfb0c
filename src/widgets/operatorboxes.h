// The shared warning and yes/no boxes as the operator prompts of every layer.
#pragma once

class WarnBox;

// Makes gpWarnBox the box behind WarnOperator and ShowOperatorNote, a box of its own the one
// behind ShowOperatorNotice, gpChooseBox the one
// behind AskOperator, and a screen-sized ChooseBox the one behind AskOperatorFullScreen.
// The globals are read at each prompt, so boxes created later are used too.
void InstallOperatorPrompts();
// The box of ShowOperatorNotice, made beside gpWarnBox at the first notice; null before.
WarnBox* OperatorNoticeBox();
