// A double click on the picture shows or hides the header bar: the first click slides the
// hidden bar down, the next slides it up again (the animations are in 5-1-9.css).
$(function () {
	$('.fitImg').on('dblclick', function () {
		var header = $('#header');
		if (header.hasClass('HideDefault') || header.hasClass('UpMove')) {
			header.removeClass('HideDefault UpMove').addClass('DownMove');
		} else if (header.hasClass('DownMove')) {
			header.removeClass('DownMove').addClass('UpMove');
		}
	});
});
