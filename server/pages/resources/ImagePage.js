function fitImg() {
	$('.fitImg').each(function () {
		var img = $(this);
		img.css({position: '', left: '', top: '', width: '', height: ''});
		var width = this.naturalWidth;
		var height = this.naturalHeight;
		if (!width || !height) return; // not loaded yet: the load event fits it
		var windowWidth = $(window).width();
		var windowHeight = $(window).height();
		var scale = Math.min(windowWidth / width, windowHeight / height);
		var scaledWidth = width * scale;
		var scaledHeight = height * scale;
		img.css({
			position: 'absolute',
			left: Math.floor((windowWidth - scaledWidth) / 2) + 'px',
			top: Math.floor((windowHeight - scaledHeight) / 2) + 'px',
			width: scaledWidth + 'px',
			height: scaledHeight + 'px',
			visibility: 'visible'
		});
	});
	$('.box').outerHeight($(window).height());
}
$(window).on('load resize', fitImg);
