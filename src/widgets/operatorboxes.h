// The shared warning and yes/no boxes as the operator prompts of every layer.
#pragma once

// Makes gpWarnBox the box behind WarnOperator and ShowOperatorNote, gpChooseBox the one
// behind AskOperator, and a screen-sized ChooseBox the one behind AskOperatorFullScreen.
// The globals are read at each prompt, so boxes created later are used too.
void InstallOperatorPrompts();
