// The image page as a viewer one can leave: next, previous and random take the place of the
// shown picture in the history, so that Back leads straight out of the viewer; Esc, and on a
// touch screen the control over the picture, lead to the thumbnail page that holds it; a
// first visit on a touch screen says how to reach the header. Once the shown picture has
// loaded, the neighbours' pictures are fetched in the size the screen uses.
// Esc is bound at once, not when jQuery calls its ready handlers: those run later, even after
// the window's load event at times, and a key pressed before would be lost.
$(document).on('keydown', function (e) {
	if (e.key === 'Escape' && !e.altKey) {
		// Unhandled, Esc is also the browser's own Stop, which would cancel this very
		// navigation when it comes before the new page's answer.
		e.preventDefault();
		window.location.href = $('#ViewPage').attr('href');
	}
});
$(function () {
	$('#NextPage, #PrevPage, #RandomPage').on('click', function (e) {
		e.preventDefault();
		window.location.replace(this.href);
	});
	if (window.matchMedia('(pointer: coarse)').matches && firstVisit()) {
		var hint = $('#headerHint');
		hint.prop('hidden', false);
		setTimeout(function () { hint.fadeOut(600); }, 4000);
	}
});
// True the first time a browser shows the viewer. Without storage (a private window that
// refuses it) every visit counts as the first: the hint is better shown too often than never.
function firstVisit() {
	var seen = 'lumenvale.headerHintSeen';
	try {
		if (localStorage.getItem(seen)) return false;
		localStorage.setItem(seen, '1');
	} catch (e) {
		// no storage
	}
	return true;
}
// The window's load event comes after the shown picture's; the neighbours' sources wait in
// data- attributes until then, so that they never share the link with it.
$(window).on('load', function () {
	$('#neighbours img').each(function () {
		var srcset = this.getAttribute('data-srcset');
		if (srcset) this.srcset = srcset;
		this.src = this.getAttribute('data-src');
	});
});
