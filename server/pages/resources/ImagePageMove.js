$(document).keydown(function (e) {
// Keys typed into a field are the field's own: an arrow there moves the caret or the slider.
var field = e.target || {};
if (field.isContentEditable || /^(TEXTAREA|SELECT)$/.test(field.tagName) ||
		(field.tagName == 'INPUT' && !/^(button|submit|reset|checkbox|radio|image)$/.test(field.type))) return;
if(e.altKey==false){
		switch (e.which){
		case 39: // Key[→]
				window.location.replace($('#NextPage').attr('href'));
e.preventDefault()
			break; 
		case 37: // Key[←]
				window.location.replace($('#PrevPage').attr('href'));
e.preventDefault()
			break; 
		case 38: // Key[↑]
				window.location.replace($('#RandomPage').attr('href'));
e.preventDefault()
			break; 
		}
	}
});
$(window).keyup(function (e) {
// Keys typed into a field are the field's own: an arrow there moves the caret or the slider.
var field = e.target || {};
if (field.isContentEditable || /^(TEXTAREA|SELECT)$/.test(field.tagName) ||
		(field.tagName == 'INPUT' && !/^(button|submit|reset|checkbox|radio|image)$/.test(field.type))) return;
if(e.altKey==false){
		switch (e.which){
		case 227: // Key[早送り]
				window.location.replace($('#NextPage').attr('href'));
e.preventDefault()
			break; 
		case 228: // Key[巻き戻し]
				window.location.replace($('#PrevPage').attr('href'));
e.preventDefault()
			break; 
		}
	}
});
{{SwipeTracking.js}}
		if (Math.abs(positionXo - positionX) < 20) {
			if (positionYo - positionY > 40) {
				direction = 'up';
			} else if (positionYo - positionY < -40) {
				direction = 'down';
			}
		}
	});
	$('article').on('touchend', function () {
		if (direction == 'up') {
			window.location.replace($('#RandomPage').attr('href'));
		} else if (direction == 'right') {
			window.location.replace($('#PrevPage').attr('href'));
		} else if (direction == 'left') {
			window.location.replace($('#NextPage').attr('href'));
		}
	});
});
